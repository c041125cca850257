// The drives view with real clicks, on media mounted in the test's own mount namespace: a medium
// lists its playable files (a link to a folder not followed), plays on the common stream, and
// taking it out stops the player; the medium and its playing file are resumed at start-up; a stop
// ends a listing under way.

#include <wx/bmpbuttn.h>

#include <filesystem>
#include <fstream>

#include "foundation/GuiThreadInvoker.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "panels/Drives.h"
#include "panels/SourceDevicePanel.h"
#include "support/EndlessMedium.h"
#include "support/PrivateMounts.h"
#include "support/TempFolder.h"
#include "tests/panels/window/PanelFixture.h"

namespace {

using test::green;
using test::StreamReceiver;

constexpr const char* kMedium = "/media/test/MUSIC";

class DrivePanelTest : public test::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        if (!test::privateMountsAvailable()) return;
        media_ = std::make_unique<test::TmpfsMount>("/media");
        medium_ = std::make_unique<test::TmpfsMount>(kMedium);
        std::filesystem::create_directories(std::string(kMedium) + "/album");
        test::writeSineWav(std::string(kMedium) + "/album/first.wav", 700, 60);
        test::writeSineWav(std::string(kMedium) + "/album/second.wav", 1100, 60);
        std::filesystem::create_directory_symlink(kMedium, std::string(kMedium) + "/loop");
    }
    void TearDown() override {
        PanelFixture::TearDown();
        medium_.reset();
        media_.reset();
    }
    void openView() {
        panel_ = PanelFixture::openView<frm::SourceDevicePanel>(wxT("Накопители"));
        ASSERT_NE(panel_, nullptr);
        list_ = test::findControl<wxListCtrl>(panel_);
    }
    wxBitmapButton* button(const wxString& tip) { return test::labelled<wxBitmapButton>(panel_, tip); }

    std::unique_ptr<test::TmpfsMount> media_;
    std::unique_ptr<test::TmpfsMount> medium_;
    frm::SourceDevicePanel* panel_ = nullptr;
    wxListCtrl* list_ = nullptr;
};

TEST_F(DrivePanelTest, AMediumPlaysAndTakingItOutStopsThePlayer) {
    MELVOX_REQUIRE_PRIVATE_MOUNTS();
    ASSERT_TRUE(medium_->mounted());
    openWindow();
    openView();
    EXPECT_FALSE(button(wxT("Играть"))->IsEnabled());
    press(button(kMedium));
    ASSERT_TRUE(pumpUntil([&] { return list_->GetItemCount() == 2; }));
    EXPECT_EQ(list_->GetItemText(0), wxT("first"));
    EXPECT_EQ(list_->GetItemText(1, 1), wxString(kMedium) + wxT("/album/second.wav"));

    StreamReceiver receiver(group_, port_ + 1);
    press(button(wxT("Играть")));
    EXPECT_TRUE(hears(receiver, 700));
    EXPECT_TRUE(pumpUntil([&] { return green(list_, 0) && !green(list_, 1); }));
    for (long row = 0; row < list_->GetItemCount(); ++row)
        list_->SetItemState(row, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    EXPECT_TRUE(screenshot("drives"));

    ASSERT_TRUE(medium_->unmount());
    EXPECT_TRUE(pumpUntil([&] { return !test::playerPlays(); }));
    EXPECT_TRUE(messageShown(L"Носитель '/media/test/MUSIC' был удален"));
    EXPECT_TRUE(capture_.contains(L"Носитель '/media/test/MUSIC' был удален", L"ERROR"));
    // Its mount point stays behind, and does not count as a medium.
    ASSERT_TRUE(std::filesystem::is_directory(kMedium));
    openView();
    EXPECT_EQ(button(kMedium), nullptr);
    EXPECT_EQ(list_->GetItemCount(), 0);
    EXPECT_FALSE(button(wxT("Играть"))->IsEnabled());
}

TEST_F(DrivePanelTest, TheMediumAndItsPlayingFileAreResumedAtStartUp) {
    MELVOX_REQUIRE_PRIVATE_MOUNTS();
    std::filesystem::create_directories(root_.dataFolder());
    storage::save(
        base::fromUtf8(root_.dataFolder() + "/device_playback.xml"),
        frm::devicePlaybackTree(
            {base::fromUtf8(kMedium), base::fromUtf8(std::string(kMedium) + "/album/second.wav"), true}));
    StreamReceiver receiver(group_, port_ + 1);
    openWindow();
    EXPECT_TRUE(hears(receiver, 1100));
    openView();
    EXPECT_TRUE(pumpUntil([&] { return green(list_, 1) && !green(list_, 0); }));
}

TEST_F(DrivePanelTest, AStateFileThatCannotBeReadIsToldAndRestoresNothing) {
    const std::string file = root_.dataFolder() + "/device_playback.xml";
    std::filesystem::create_directories(root_.dataFolder());
    const struct {
        const char* name;
        const char* content;  // null: no file
        std::size_t told;
        bool keptAside;
        const wchar_t* shown;  // in a box, when kept aside
    } cases[] = {
        {"missing", nullptr, 1, false, nullptr},
        {"damaged", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<device><disk>", 1, true,
         L"Ошибка открытия настроек"},
        {"without its device element",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<devices><disk>/media/test/MUSIC</disk></devices>", 1,
         true, L"(нет элемента 'device')"},
        {"without a medium", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<device/>", 0, false, nullptr},
    };
    const auto keptAside = [&] {
        std::vector<std::string> kept;
        for (const auto& entry : std::filesystem::directory_iterator(root_.dataFolder())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("device_playback.xml.broken-", 0) == 0) kept.push_back(entry.path().string());
        }
        return kept;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(file);
        for (const std::string& kept : keptAside()) std::filesystem::remove(kept);
        if (c.content) std::ofstream(file) << c.content;
        const std::size_t before = capture_.find(L"List of Playlist not loaded", L"EXTERN").size();
        const std::size_t errors = capture_.find(L"Ошибка открытия настроек", L"ERROR").size();
        openWindow();
        EXPECT_EQ(capture_.find(L"List of Playlist not loaded", L"EXTERN").size(), before + c.told);
        if (c.shown) {
            EXPECT_TRUE(messageShown(c.shown));
        }
        openView();
        EXPECT_EQ(list_->GetItemCount(), 0);
        EXPECT_FALSE(test::playerPlays());
        closeWindow();
        // A file that could not be used is kept as it was and told to the operator.
        const std::vector<std::string> kept = keptAside();
        ASSERT_EQ(kept.size(), c.keptAside ? 1u : 0u);
        EXPECT_EQ(capture_.find(L"Ошибка открытия настроек", L"ERROR").size(), errors + kept.size());
        if (c.keptAside) {
            EXPECT_EQ(test::readWholeFile(kept.front()), c.content);
        }
    }
}

// A stop that comes while the saved medium is still being listed saves what the file held: the
// list comes back through the window's events, which the test does not run, as a stop does not.
TEST_F(DrivePanelTest, AStopWhileTheSavedMediumIsListedKeepsWhatWasSaved) {
    const std::wstring file = base::fromUtf8(root_.dataFolder() + "/device_playback.xml");
    std::filesystem::create_directories(root_.dataFolder());
    const frm::DevicePlayback saved{base::fromUtf8(kMedium),
                                    base::fromUtf8(std::string(kMedium) + "/album/second.wav"), true};
    storage::save(file, frm::devicePlaybackTree(saved));
    auto* parent = new wxFrame(nullptr, wxID_ANY, wxT("drives"));
    {
        frm::SourceDevicePanel panel(parent, questions_);
        ASSERT_EQ(panel.load(file), storage::StateFileRead::loaded);
        panel.stopThread();
        storage::save(file, panel.save());
    }
    parent->Destroy();
    boost::property_tree::wptree tree;
    ASSERT_TRUE(storage::load(file, tree));
    const frm::DevicePlayback kept = frm::devicePlaybackFrom(tree);
    EXPECT_EQ(kept.disk, saved.disk);
    EXPECT_EQ(kept.current, saved.current);
    EXPECT_TRUE(kept.playback);
}

// The panel's stop ends the walk of a medium whose walk would not end by itself, and the part
// listed up to there ("album/one.mp3") is never shown.
TEST_F(DrivePanelTest, AStopEndsAListingUnderWayWhosePartIsNeverShown) {
    MELVOX_REQUIRE_PRIVATE_MOUNTS();
    const test::TempFolder folder;
    // A walk that the stop does not end meets the medium's end then: the test fails, not hangs.
    const test::EndlessMedium medium(folder.path(), std::chrono::seconds(60));
    if (!medium.mounted()) GTEST_SKIP() << "no file system served by the test";
    openWindow();
    openView();
    panel_->fillFromDrive(wxString::FromUTF8(folder.path()));
    ASSERT_TRUE(pumpUntil([&] { return medium.foldersOpened() >= 100; }));
    panel_->stopThread();
    EXPECT_FALSE(medium.endReached()) << "the stop did not end the walk";
    // The listing's thread has ended: what it handed the window comes before this.
    bool handled = false;
    GuiThreadInvoker::add([&] { handled = true; });
    ASSERT_TRUE(pumpUntil([&] { return handled; }));
    EXPECT_EQ(list_->GetItemCount(), 0);
    EXPECT_EQ(frm::devicePlaybackFrom(panel_->save()).disk, L"");
}

TEST_F(DrivePanelTest, HeadersStayWholeOverShortFileNames) {
    MELVOX_REQUIRE_PRIVATE_MOUNTS();
    ASSERT_TRUE(medium_->mounted());
    openWindow();
    openView();
    EXPECT_TRUE(test::headersWhole(list_));
    press(button(kMedium));
    // The names "first" and "second" are narrower than the header "Название".
    ASSERT_TRUE(pumpUntil([&] { return list_->GetItemCount() == 2; }));
    EXPECT_TRUE(test::headersWhole(list_));
    EXPECT_TRUE(screenshot("drives_view"));
}

}  // namespace
