// The drives view with real clicks, on media mounted in the test's own mount namespace: a medium
// lists its playable files (a link to a folder not followed), plays on the common stream, and
// taking it out stops the player; the medium and its playing file are resumed at start-up.

#include <wx/bmpbuttn.h>

#include <filesystem>

#include "audio/Player.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "panels/Drives.h"
#include "panels/SourceDevicePanel.h"
#include "support/PrivateMounts.h"
#include "tests/app/window/WindowFixture.h"

namespace {

using test::StreamReceiver;

constexpr const char* kMedium = "/media/test/MUSIC";

class DrivePanelTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        if (!test::privateMountsAvailable()) return;
        media_ = std::make_unique<test::TmpfsMount>("/media");
        medium_ = std::make_unique<test::TmpfsMount>(kMedium);
        std::filesystem::create_directories(std::string(kMedium) + "/album");
        test::writeSineWav(std::string(kMedium) + "/album/first.wav", 700, 60);
        test::writeSineWav(std::string(kMedium) + "/album/second.wav", 1100, 60);
        std::filesystem::create_directory_symlink(kMedium, std::string(kMedium) + "/loop");
    }
    void TearDown() override {
        WindowFixture::TearDown();
        medium_.reset();
        media_.reset();
    }
    void openView() {
        clickButton(wxT("Накопители"));
        ASSERT_TRUE(pumpUntil([&] {
            panel_ = test::findControl<frm::SourceDevicePanel>(frame_);
            return panel_ != nullptr && panel_->IsShownOnScreen();
        }));
        list_ = test::findControl<wxListCtrl>(panel_);
    }
    wxBitmapButton* button(const wxString& tip) {
        for (wxWindow* window : panel_->GetChildren()) {
            auto* button = dynamic_cast<wxBitmapButton*>(window);
            if (button != nullptr && button->GetToolTipText() == tip) return button;
        }
        return nullptr;
    }
    void press(const wxString& tip) {
        wxBitmapButton* found = button(tip);
        ASSERT_NE(found, nullptr) << tip;
        click(found, wxRect(found->GetClientSize()));
    }
    bool green(long row) {
        return row < list_->GetItemCount() && list_->GetItemTextColour(row) == wxColour(0, 160, 33);
    }
    static bool playerPlays() {
        const base::SingletonSlot<Player>::Use player(Player::instanceSlot());
        return player && player->isPlaying();
    }
    bool hears(StreamReceiver& receiver, double hertz) {
        receiver.clear();
        // The window goes on answering its events meanwhile: a start-up resumes through them.
        return pumpUntil([&] {
            const auto audio = test::decodeMpegAudio(test::readTransportStream(receiver.payloads()).audio);
            return audio.samples.size() > static_cast<std::size_t>(audio.rate) &&
                   std::abs(test::strongestFrequency(audio.samples, audio.rate) - hertz) < hertz * 0.02;
        });
    }

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
    press(kMedium);
    ASSERT_TRUE(pumpUntil([&] { return list_->GetItemCount() == 2; }));
    EXPECT_EQ(list_->GetItemText(0), wxT("first"));
    EXPECT_EQ(list_->GetItemText(1, 1), wxString(kMedium) + wxT("/album/second.wav"));

    StreamReceiver receiver(group_, port_ + 1);
    press(wxT("Играть"));
    EXPECT_TRUE(hears(receiver, 700));
    EXPECT_TRUE(pumpUntil([&] { return green(0) && !green(1); }));
    for (long row = 0; row < list_->GetItemCount(); ++row)
        list_->SetItemState(row, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    EXPECT_TRUE(screenshot("drives"));

    ASSERT_TRUE(medium_->unmount());
    EXPECT_TRUE(pumpUntil([&] { return !playerPlays(); }));
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
    EXPECT_TRUE(pumpUntil([&] { return green(1) && !green(0); }));
}

}  // namespace
