// The URL dialog's history file and the checks of what the operator types for the playlists.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/kit/EnteredText.h"
#include "app/kit/UrlHistory.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(UrlHistory, KeepsTheLatestFirstInUtf8) {
    test::TempFolder folder;
    const std::string path = folder.file("UrlDialog.history");
    writeFile(path, "http://a/\r\nhttp://b/\n\nhttp://a/\n" +
                        std::string(frm::UrlHistory::kLongestEntry + 1, 'x') +
                        "\nhttp://e/\r\r\nhttp://радио/");
    frm::UrlHistory history(base::fromUtf8(path));
    EXPECT_EQ(history.entries(), (std::vector<std::wstring>{L"http://a/", L"http://b/", L"http://радио/"}));
    history.add(L"http://b/");
    history.add(L"http://c/\nhttp://d/");  // would split into two lines
    history.save();
    EXPECT_EQ(test::readWholeFile(path), "http://b/\nhttp://a/\nhttp://радио/\n");

    for (std::size_t i = 0; i < frm::UrlHistory::kMostEntries + 5; ++i)
        history.add(L"http://s" + std::to_wstring(i));
    history.save();
    const frm::UrlHistory reread(base::fromUtf8(path));
    EXPECT_EQ(reread.entries().size(), frm::UrlHistory::kMostEntries);
    EXPECT_EQ(reread.entries().front(), L"http://s104");
}

// A URL the file could not hold as one line of text is not entered: saved, it would split into
// lines or make the whole file read as damaged at the next start.
TEST(UrlHistory, AUrlTheFileCannotHoldIsNotEntered) {
    test::TempFolder folder;
    const std::wstring path = base::fromUtf8(folder.file("UrlDialog.history"));
    const std::wstring refused[] = {L"http://c/\nhttp://d/", L"http://c/\rx",
                                    std::wstring(L"http://c/\0x", 11), L""};
    for (const std::wstring& url : refused) {
        frm::UrlHistory history(path);
        history.add(L"http://a/");
        history.add(url);
        EXPECT_EQ(history.entries(), std::vector<std::wstring>{L"http://a/"}) << base::toUtf8(url);
        history.save();
        EXPECT_EQ(frm::UrlHistory(path).entries(), history.entries()) << base::toUtf8(url);
    }
}

TEST(UrlHistory, AFileThatIsNotUtf8TextIsKeptAside) {
    test::LogCapture capture;
    test::TempFolder folder;
    const std::string path = folder.file("UrlDialog.history");
    writeFile(path, "http://a/\n\xff\xfe");
    frm::UrlHistory history(base::fromUtf8(path));
    EXPECT_TRUE(history.entries().empty());
    EXPECT_TRUE(capture.contains(L"повреждён и сохранён как", L"WARN"));
    EXPECT_FALSE(std::filesystem::exists(path));
    history.add(L"http://b/");
    history.save();
    EXPECT_EQ(test::readWholeFile(path), "http://b/\n");
    // A missing file is an empty history, and an unchanged history writes nothing.
    std::filesystem::remove(path);
    frm::UrlHistory(base::fromUtf8(path)).save();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(EnteredText, NamesUpToSeventyCharactersAndUrlsAPlaylistTakes) {
    test::LogCapture capture;
    test::TempFolder folder;
    writeFile(folder.file("song.mp3"), "x");
    const std::wstring seventy(70, L'я');
    EXPECT_TRUE(frm::enteredNameFits(seventy, debug::Place("test")));
    EXPECT_FALSE(frm::enteredNameFits(seventy + L"я", debug::Place("test")));
    const std::tuple<std::wstring, std::wstring, const wchar_t*> cases[] = {
        {seventy, L"http://127.0.0.1/a", nullptr},
        {L"Станция", base::fromUtf8(folder.file("song.mp3")), nullptr},
        {L"", L"http://127.0.0.1/a", L"Введите название"},
        {seventy + L"я", L"http://127.0.0.1/a", L"Превышено максимальное количество символов"},
        {L"Станция", L"", L"Введите URL"},
        {L"Станция", L"ftp://127.0.0.1/a", L"Путь некорректный 'ftp://127.0.0.1/a'"},
    };
    for (const auto& [title, url, refusal] : cases) {
        EXPECT_EQ(frm::urlEntryAccepted(title, url), refusal == nullptr) << base::toUtf8(url);
        if (refusal) {
            EXPECT_TRUE(capture.contains(refusal, L"NOTICE")) << base::toUtf8(refusal);
        }
    }
}

}  // namespace
