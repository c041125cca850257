#include <gtest/gtest.h>

#include <fstream>

#include "panels/LogFiles.h"
#include "support/TempFolder.h"

namespace {

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(LogFiles, DatesAreSortedSoThatTheNewestComesLast) {
    test::TempFolder folder;
    for (const char* name : {"20240102.log", "20231231.log", "20240101.log", "notes.txt"})
        writeFile(folder.file(name), "x");
    const std::vector<std::wstring> expected = {L"20231231", L"20240101", L"20240102"};
    EXPECT_EQ(frm::logDates(folder.widePath()), expected);
    EXPECT_TRUE(frm::logDates(folder.widePath() + L"/none").empty());
}

TEST(LogFiles, ReadUpToTheLimitAndDecodedLeniently) {
    test::TempFolder folder;
    struct Case {
        std::string bytes;
        frm::LogFileText::Status status;
        std::wstring text;
    };
    const Case cases[] = {
        {"12:00:00 INFO ok\n", frm::LogFileText::loaded, L"12:00:00 INFO ok\n"},
        {"abc\xff"
         "def \xd0\x96\n\xd0",
         frm::LogFileText::loaded, L"abc\uFFFDdef Ж\n\uFFFD"},
        {std::string(frm::kLogViewLimit - 1, 'a'), frm::LogFileText::loaded,
         std::wstring(frm::kLogViewLimit - 1, L'a')},
        {std::string(frm::kLogViewLimit, 'a'), frm::LogFileText::tooLarge, L""},
    };
    for (const Case& c : cases) {
        writeFile(folder.file("day.log"), c.bytes);
        const frm::LogFileText read = frm::readLogFile(folder.widePath() + L"/day.log");
        EXPECT_EQ(read.status, c.status) << c.bytes.size();
        EXPECT_TRUE(read.text == c.text) << c.bytes.size();
    }
    EXPECT_EQ(frm::readLogFile(folder.widePath() + L"/none.log").status, frm::LogFileText::missing);
    EXPECT_EQ(frm::readLogFile(folder.widePath()).status, frm::LogFileText::unreadable);
}

}  // namespace
