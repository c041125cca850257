#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "foundation/DataFolders.h"
#include "foundation/TextConversion.h"
#include "support/DataRoot.h"

namespace {

namespace fs = std::filesystem;

TEST(DataFolders, LieBelowTheUsersApplicationDataFolderAndAreCreated) {
    test::DataRoot root;
    EXPECT_EQ(base::toUtf8(os::getApplicationDataDirectory()), root.dataFolder());
    EXPECT_EQ(base::toUtf8(os::getLogDirectory()), root.dataFolder() + "/log");
    EXPECT_EQ(base::toUtf8(os::getTempDirectory()), root.dataFolder() + "/temp");
    for (const char* folder : {"", "/log", "/temp"}) {
        EXPECT_TRUE(fs::is_directory(root.dataFolder() + folder)) << folder;
    }
}

TEST(DataFolders, LogFolderIsMadeAgainAfterItWasRemoved) {
    test::DataRoot root;
    const std::wstring first = os::getLogDirectory();
    fs::remove_all(root.dataFolder());
    EXPECT_EQ(os::getLogDirectory(), first);
    EXPECT_TRUE(fs::is_directory(root.logFolder()));
}

TEST(DataFolders, DataFolderIsKeptUntilTheCacheIsEmptied) {
    test::DataRoot first;
    const std::wstring folder = os::getApplicationDataDirectory();
    {
        test::TempFolder other;
        setenv("LOCALAPPDATA", other.path().c_str(), 1);
        EXPECT_EQ(os::getApplicationDataDirectory(), folder);
        os::resetApplicationDataDirectory();
        EXPECT_EQ(base::toUtf8(os::getApplicationDataDirectory()),
                  other.path() + "/KORVA Security Systems/Melvox/1.2");
    }
}

// Nothing outside the data folder is removed but the program's own files in a linked "temp".
TEST(DataFolders, EmptyingTheTempFolderLeavesWhatLinksLeadTo) {
    test::DataRoot root;
    test::TempFolder outside;
    for (const char* name : {"theirs", "melvox_record.mp3"}) std::ofstream(outside.file(name)) << name;
    const std::string temp = base::toUtf8(os::getTempDirectory());
    fs::create_directory(temp + "/sub");
    std::ofstream(temp + "/sub/file") << "x";
    fs::create_directory_symlink(outside.path(), temp + "/link");
    os::emptyTempDirectory();
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(test::entryNames(outside.path()), (std::vector<std::string>{"melvox_record.mp3", "theirs"}));

    fs::remove(temp);
    fs::create_directory_symlink(outside.path(), temp);
    os::emptyTempDirectory();
    EXPECT_TRUE(fs::is_symlink(temp));
    EXPECT_EQ(test::entryNames(outside.path()), std::vector<std::string>{"theirs"});

    // A link that leads nowhere is passed over.
    fs::remove(temp);
    fs::create_directory_symlink(outside.file("gone"), temp);
    EXPECT_NO_THROW(os::emptyTempDirectory());
}

TEST(DataFolders, ApplicationFolderHoldsTheRunningProgram) {
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const fs::path folder = base::toUtf8(os::getApplicationDirectory());
    EXPECT_TRUE(fs::equivalent(folder / program.filename(), program));
}

}  // namespace
