// The folder listing behind "Добавить каталог...": off the calling thread, counting the folders
// it enters, ending on a link loop, and giving nothing once cancelled.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/TextConversion.h"
#include "panels/FolderScan.h"
#include "support/TempFolder.h"

namespace {

TEST(FolderScan, ListsATreeWithALinkLoopAndCountsItsFolders) {
    test::TempFolder folder;
    for (int i = 0; i < 20; ++i) {
        const std::string sub = folder.file("d" + std::to_string(i));
        std::filesystem::create_directories(sub + "/inner");
        std::ofstream(sub + "/inner/t.MP3") << "x";
    }
    std::filesystem::create_directory_symlink(folder.path(), folder.file("d0/inner/loop"));
    frm::FolderScan scan(folder.widePath(), L"*.mp3");
    ASSERT_TRUE(scan.waitFor(std::chrono::minutes(1)));
    EXPECT_EQ(scan.files().size(), 20u);
    EXPECT_EQ(scan.files().front(), base::fromUtf8(folder.file("d0/inner/t.MP3")));
    EXPECT_EQ(scan.foldersEntered(), 41u);

    frm::FolderScan cancelled(folder.widePath(), L"*.mp3");
    cancelled.cancel();
    ASSERT_TRUE(cancelled.waitFor(std::chrono::minutes(1)));
    EXPECT_TRUE(cancelled.files().empty());
}

}  // namespace
