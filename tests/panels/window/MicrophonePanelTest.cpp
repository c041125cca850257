// The microphone view with real clicks, on a PulseAudio null sink: the microphone heard on the
// priority stream after the gong and recorded, the recording saved under its title and offered to
// the scheduler, and a recording alone that the channel ends by itself saved across two file
// systems, where an unfinished save's temporary is gone once the program started; a busy channel
// interrupted only on the operator's yes and never below an alarm; a broadcast whose capture
// fails offers no recording.

#include <wx/checkbox.h>
#include <wx/statusbr.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "panels/SourceMicrophonePanel.h"
#include "support/PrivateMounts.h"
#include "support/PulseServer.h"
#include "tests/panels/window/PanelFixture.h"

namespace {

using namespace std::chrono_literals;
using test::StreamReceiver;

class MicrophonePanelTest : public test::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        pref::setWString(setting::recordDeviceName.key, base::fromUtf8(test::PulseServer::kSource));
    }
    void openView() {
        panel_ = PanelFixture::openView<frm::SourceMicrophonePanel>(wxT("Микрофон"));
        ASSERT_NE(panel_, nullptr);
    }
    wxWindow* control(const wxString& label) { return wxWindow::FindWindowByLabel(label, panel_); }
    void press(const wxString& label) { PanelFixture::press(control(label)); }
    void setTitle(const wxString& title) { test::findControl<wxTextCtrl>(panel_)->ChangeValue(title); }
    bool saveOffered() {
        return pumpUntil([&] { return control(wxT("Сохранить"))->IsEnabled(); });
    }
    wxListCtrl* records() { return test::findControl<wxListCtrl>(panel_); }
    // Chooses a gong of that many seconds for the broadcasts, then opens the view on one loudspeaker
    // with the broadcast and the recording switched on.
    void openForBroadcastAndRecording(double gongSeconds) {
        std::filesystem::create_directories(root_.dataFolder() + "/gong");
        ASSERT_TRUE(test::writeSineMp3(root_.dataFolder() + "/gong/Гонг.mp3", 500, gongSeconds));
        pref::setWString(setting::recordGongFileName.key, L"Гонг");
        pref::setBool(setting::recordGongEnable.key, true);
        openOnChosen(1);
        openView();
        press(wxT("Трансляция"));
        press(wxT("Запись"));
    }
    std::string recordFolder() const { return root_.dataFolder() + "/record"; }

    frm::SourceMicrophonePanel* panel_ = nullptr;
};

TEST_F(MicrophonePanelTest, TheMicrophoneIsHeardAfterTheGongRecordedAndSavedUnderItsTitle) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    openForBroadcastAndRecording(1);
    EXPECT_TRUE(control(wxT("Включить"))->IsEnabled());
    pulse.playTone(1200);
    StreamReceiver receiver(group_, port_ + 2);
    press(wxT("Старт"));
    ASSERT_TRUE(pumpUntil([&] { return control(wxT("Стоп")) != nullptr; }));
    EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(0), wxT("Тревожный канал: Запущено"));
    std::vector<double> tones;
    ASSERT_TRUE(pumpUntil(
        [&] {
            const auto audio = test::decodeMpegAudio(test::readTransportStream(receiver.payloads()).audio);
            tones.clear();
            for (const double hertz : test::frequencySequence(audio.samples, audio.rate))
                if (tones.empty() || std::abs(tones.back() - hertz) > 24) tones.push_back(hertz);
            return tones.size() >= 2 && std::abs(tones.back() - 1200) < 24;
        },
        30s));
    EXPECT_NEAR(tones.front(), 500, 12);
    EXPECT_EQ(loudspeakers_.loudspeaker(0).status().channel, 1u);
    EXPECT_TRUE(screenshot("microphone"));

    press(wxT("Стоп"));
    ASSERT_TRUE(saveOffered());
    EXPECT_TRUE(pumpUntil([&] { return loudspeakers_.loudspeaker(0).status().channel == 0; }));
    EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(0), wxString());
    setTitle(wxT("Название"));
    press(wxT("Сохранить"));
    ASSERT_TRUE(pumpUntil([&] { return records()->GetItemCount() == 1; }));
    EXPECT_EQ(records()->GetItemText(0), wxT("Название"));
    EXPECT_FALSE(control(wxT("Сохранить"))->IsEnabled());
    const auto recorded = test::decodeMpegFile(recordFolder() + "/Название.mp3");
    EXPECT_NEAR(test::strongestFrequency(recorded.samples, recorded.rate), 1200, 24);

    // The scheduler offers the recording as a source of its own kind.
    auto* scheduler = schedulerOn(wxT("Микрофон"));
    ASSERT_NE(scheduler, nullptr);
    auto* content = test::named<wxChoice>(scheduler, "content");
    EXPECT_EQ(content->GetCount(), 1u);
    EXPECT_EQ(content->GetString(0), wxT("Название"));
}

TEST_F(MicrophonePanelTest, ABroadcastWhoseCaptureFailsOffersNoRecording) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    pref::setWString(setting::recordDeviceName.key, L"нет такого устройства");
    // Longer than the stream's queue takes at once: the broadcast runs while the gong is sent.
    openForBroadcastAndRecording(4);
    press(wxT("Старт"));
    ASSERT_TRUE(pumpUntil([&] { return control(wxT("Стоп")) != nullptr; }));
    // After the gong the capture cannot open its device: the broadcast ends by itself.
    EXPECT_TRUE(messageShown(L"Не удалось открыть устройство захвата 'нет такого устройства'"));
    ASSERT_TRUE(pumpUntil([&] { return control(wxT("Старт")) != nullptr; }));
    EXPECT_FALSE(control(wxT("Сохранить"))->IsEnabled());
    EXPECT_FALSE(std::filesystem::exists(base::toUtf8(frm::temporaryRecording())));
}

TEST_F(MicrophonePanelTest, OnlyABusyChannelOfTheSamePriorityIsInterruptedOnTheOperatorsYes) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    const std::string message = root_.path() + "/message.mp3";
    ASSERT_TRUE(test::writeSineMp3(message, 700, 60));
    openOnChosen(1);
    openView();
    press(wxT("Трансляция"));
    const base::SingletonSlot<frm::AlarmChannel>::Use channel(frm::AlarmChannel::instanceSlot());

    launchBroadcast(3, L"Пожарная тревога", message);
    press(wxT("Старт"));
    EXPECT_TRUE(messageShown(L"Канал занят."));
    EXPECT_EQ(questions_.yesNoAsked, 0);
    EXPECT_NE(control(wxT("Старт")), nullptr);
    EXPECT_EQ(channel->getDescription(), L"Пожарная тревога");
    channel->stop();
    ASSERT_TRUE(pumpUntil([&] { return !channel->isBusy(); }));

    launchBroadcast(2, L"Служебное", message);
    press(wxT("Старт"));
    EXPECT_EQ(questions_.yesNoAsked, 1);
    ASSERT_TRUE(pumpUntil([&] { return control(wxT("Стоп")) != nullptr; }));
    EXPECT_EQ(channel->getDescription(), L"Вещание с микрофона");
    press(wxT("Стоп"));
    EXPECT_TRUE(pumpUntil([&] { return !channel->isBusy(); }));
    EXPECT_NE(control(wxT("Старт")), nullptr);
}

TEST_F(MicrophonePanelTest, ARecordingTheChannelEndsItselfIsSavedAcrossFileSystems) {
    MELVOX_REQUIRE_PRIVATE_MOUNTS();
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    const test::TmpfsMount recordFileSystem(recordFolder());
    ASSERT_TRUE(recordFileSystem.mounted());
    // What a save killed halfway leaves: its hidden temporary, named after a process that is gone.
    const std::string unfinished = recordFolder() + "/.Ночная запись.mp3.2147483000-0.tmp";
    std::ofstream(unfinished) << "part";
    pulse.playTone(900);
    openOnChosen(0);
    openView();
    EXPECT_FALSE(std::filesystem::exists(unfinished));
    press(wxT("Трансляция"));
    press(wxT("Старт"));
    EXPECT_TRUE(messageShown(L"Не выбрано ни одного устройства"));
    press(wxT("Трансляция"));
    press(wxT("Запись"));
    press(wxT("Старт"));
    ASSERT_TRUE(pumpUntil([&] { return control(wxT("Стоп")) != nullptr; }));
    const std::string recording = base::toUtf8(frm::temporaryRecording());
    // The tone is in the recording (the capture may start with silence on a loaded machine).
    ASSERT_TRUE(pumpUntil([&] {
        const auto sofar = test::decodeMpegFile(recording);
        return std::abs(test::strongestFrequency(sofar.samples, sofar.rate) - 900) <= 24;
    }));

    // The capture device goes: the channel ends the recording, the panel becomes idle.
    ASSERT_TRUE(pulse.unloadSink());
    ASSERT_TRUE(saveOffered());
    EXPECT_NE(control(wxT("Старт")), nullptr);
    setTitle(wxT("Ночная запись"));
    press(wxT("Сохранить"));
    ASSERT_TRUE(pumpUntil([&] { return records()->GetItemCount() == 1; }));
    EXPECT_FALSE(std::filesystem::exists(recording));
    // The copy was given its title whole: nothing else is left in the folder.
    EXPECT_EQ(test::entryNames(recordFolder()), std::vector<std::string>{"Ночная запись.mp3"});
    const auto recorded = test::decodeMpegFile(recordFolder() + "/Ночная запись.mp3");
    EXPECT_NEAR(test::strongestFrequency(recorded.samples, recorded.rate), 900, 24);
}

}  // namespace
