// The folder listing behind "Добавить каталог...": off the calling thread, counting the folders
// it enters, ending on a link loop, and giving nothing once cancelled; and the addition that hands
// the listing on, telling its end.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "foundation/TextConversion.h"
#include "panels/FolderAddition.h"
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

// The addition hands the whole listing to its adding step and tells its end; one cancelled while it
// lists hands nothing on, and ends all the same.
TEST(FolderScan, AnAdditionHandsTheListingOnAndTellsItsEnd) {
    test::TempFolder folder;
    for (int i = 0; i < 3; ++i) std::ofstream(folder.file(std::to_string(i) + ".mp3")) << "x";
    for (const bool cancelled : {false, true}) {
        std::promise<void> listed;
        auto listing = listed.get_future().share();
        const frm::FolderScan::Lister held = [listing](const std::wstring& tree,
                                                       const std::wstring& extensions,
                                                       const base::ListingProgress& progress) {
            listing.wait();
            return frm::FolderScan::listTree(tree, extensions, progress);
        };
        std::promise<void> ended;
        std::vector<std::wstring> handedOn;
        frm::FolderAddition addition(
            folder.widePath(), L"*.mp3", held,
            [&](const std::vector<std::wstring>& files, const std::function<bool(std::size_t)>& going) {
                handedOn = files;
                going(files.size());
            },
            [&] {
                if (addition.progress().stage == frm::FolderProgress::ended) ended.set_value();
            });
        if (cancelled) addition.cancel();
        listed.set_value();
        ASSERT_TRUE(ended.get_future().wait_for(std::chrono::minutes(1)) == std::future_status::ready)
            << "its end was never told";
        EXPECT_EQ(handedOn.size(), cancelled ? 0u : 3u) << cancelled;
        EXPECT_EQ(addition.progress().added, cancelled ? 0u : 3u) << cancelled;
    }
}

}  // namespace
