// The audio-memory page of a loudspeaker and the device actions of its common page, against
// emulated loudspeakers: fragments and scenarios added through their dialogs and written with
// the progress dialog, a write that fails, memory images, the progress dialog itself, a firmware
// update and a line measurement.

#include <wx/button.h>
#include <wx/filepicker.h>
#include <wx/listctrl.h>
#include <wx/spinctrl.h>
#include <wx/textctrl.h>

#include <fstream>
#include <optional>
#include <thread>

#include "app/kit/FragmentDialog.h"
#include "app/kit/ProgressBarDialog.h"
#include "app/kit/ScenarioDialog.h"
#include "devicelink/IAudioControl.h"
#include "devices/VokarInfo.h"
#include "support/AudioFlash.h"
#include "support/FirmwareFlash.h"
#include "support/FirmwareImages.h"
#include "support/ManualClock.h"
#include "support/TempFolder.h"
#include "tests/app/window/PropertyPanelFixture.h"

namespace {

using namespace std::chrono_literals;
using Ids = frm::fb::PropertyDevicePanel;

class PropertyMemoryTest : public test::PropertyPanelFixture {
protected:
    std::string writeFile(const std::string& name, const std::string& bytes) {
        const std::string path = files_.file(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::shared_ptr<device::VokarInfo> vokar(int index) {
        return frame_->getDeviceCollection().getVokars<device::VokarInfo>(false).at(index);
    }
    wxListCtrl* fragments() { return pageControls<wxListCtrl>().at(0); }
    wxListCtrl* scenarios() { return pageControls<wxListCtrl>().at(1); }

    // Opens the audio-memory page of the first loudspeaker.
    void openMemoryPage() {
        openWindow();
        ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
        openProperties(0);
        settled(loudspeakers_.loudspeaker(0));
        showTab(L"Аудио память");
        ASSERT_EQ(propertyPanel()->currentTab(), Ids::ID_PAGE_AUDIO_MEMORY);
        memoryShown();
    }
    // Waits until the memory, read off the window, is on the page, which takes edits from then on.
    void memoryShown() {
        ASSERT_TRUE(pumpUntil([&] { return notebook()->GetCurrentPage()->IsEnabled(); }));
    }

    // Adds a fragment through its dialog as the operator does.
    void addFragment(const std::wstring& name, const std::string& path, const std::string& screenshot = "") {
        questions_.modal = [&](wxDialog& dialog) {
            return whenShown(dialog, [&] {
                if (!screenshot.empty()) {
                    EXPECT_TRUE(this->screenshot(screenshot));
                }
                wxDynamicCast(wxWindow::FindWindowByName(L"fragmentName", &dialog), wxTextCtrl)
                    ->ChangeValue(name);
                wxDynamicCast(wxWindow::FindWindowByName(L"fragmentFile", &dialog), wxFilePickerCtrl)
                    ->SetPath(path);
                clickInDialog(wxWindow::FindWindowByLabel(L"&Сохранить", &dialog));
            });
        };
        chooseMenuItem(Ids::ID_FRAGMENT_ADD);
    }
    // Lets every progress dialog run until it ends itself.
    void showProgress() {
        questions_.modal = [](wxDialog& dialog) { return dialog.ShowModal(); };
    }

    test::TempFolder files_;
};

TEST_F(PropertyMemoryTest, AFragmentAndAScenarioAreWrittenToTheDeviceAndAnImageRoundTrips) {
    loudspeakers_.add(1);
    test::AudioFlash flash(loudspeakers_.loudspeaker(0), 64 * 1024);
    openMemoryPage();
    EXPECT_EQ(fragments()->GetItemCount(), 0);

    const std::string mp3 = "\xFF\xFB\x90\x64" + std::string(400, 'a');
    const std::string path = writeFile("gong.mp3", mp3);
    addFragment(L"Гонг", path, "fragment_dialog");
    ASSERT_EQ(fragments()->GetItemCount(), 1);
    EXPECT_EQ(fragments()->GetItemText(0, 0), L"1");
    EXPECT_EQ(fragments()->GetItemText(0, 1), L"Гонг");
    EXPECT_EQ(fragments()->GetItemText(0, 3), wxString::FromUTF8(path));
    EXPECT_TRUE(labelled(L"&Применить")->IsEnabled());

    questions_.modal = [&](wxDialog& dialog) {
        return whenShown(dialog, [&] {
            EXPECT_TRUE(screenshot("scenario_dialog"));
            wxDynamicCast(wxWindow::FindWindowByName(L"scenarioName", &dialog), wxTextCtrl)
                ->ChangeValue(L"Тревога");
            wxDynamicCast(wxWindow::FindWindowByName(L"scenarioPeriod", &dialog), wxSpinCtrl)->SetValue(30);
            clickInDialog(wxWindow::FindWindowByLabel(L"&Сохранить", &dialog));
        });
    };
    chooseMenuItem(Ids::ID_SCENARIO_ADD);
    ASSERT_EQ(scenarios()->GetItemCount(), 1);
    EXPECT_EQ(scenarios()->GetItemText(0, 1), L"Тревога");
    EXPECT_EQ(scenarios()->GetItemText(0, 2), L"Гонг");
    EXPECT_EQ(scenarios()->GetItemText(0, 4), L"30");
    EXPECT_TRUE(screenshot("property_audio_memory"));

    showProgress();
    ASSERT_TRUE(propertyPanel()->writeAudioMemory());
    memoryShown();
    ASSERT_EQ(fragments()->GetItemCount(), 1);
    EXPECT_EQ(fragments()->GetItemText(0, 3), L"Расположен в памяти устройства");
    EXPECT_NE(flash.flash().contents().find(mp3), std::string::npos);
    const auto memory = offWindow([&] {
        const auto read = vokar(0)->getAudioMemory(false, true);
        read->reload();
        return read;
    });
    ASSERT_EQ(memory->getScenarios().size(), 1u);
    EXPECT_EQ(memory->getScenarios()[0].name, L"Тревога");

    // Saved as an image, emptied, and loaded again from the image.
    const std::string image = files_.file("memory.a-bin");
    questions_.paths = {wxString::FromUTF8(image).ToStdWstring()};
    chooseMenuItem(Ids::ID_MEMORY_SAVE_IMAGE);
    settle();
    ASSERT_FALSE(test::readWholeFile(image).empty());
    chooseMenuItem(Ids::ID_MEMORY_CLEAR);
    EXPECT_EQ(fragments()->GetItemCount(), 0);
    EXPECT_EQ(scenarios()->GetItemCount(), 0);
    EXPECT_TRUE(labelled(L"&Применить")->IsEnabled());
    questions_.paths = {wxString::FromUTF8(image).ToStdWstring()};
    chooseMenuItem(Ids::ID_MEMORY_LOAD_IMAGE);
    ASSERT_EQ(fragments()->GetItemCount(), 1);
    EXPECT_EQ(fragments()->GetItemText(0, 3), wxString::FromUTF8(image));
    EXPECT_EQ(scenarios()->GetItemCount(), 1);
    EXPECT_EQ(questions_.wildcards.back(), L"Аудио Память (*.a-bin)|*.a-bin;*.raw-a-bin");
}

TEST_F(PropertyMemoryTest, AScenarioTheMemoryRefusesKeepsItsDialogOpenUntilItIsCorrected) {
    loudspeakers_.add(1);
    test::AudioFlash flash(loudspeakers_.loudspeaker(0), 64 * 1024);
    openMemoryPage();
    addFragment(L"Гонг", writeFile("gong.mp3", std::string(400, 'g')));
    ASSERT_EQ(fragments()->GetItemCount(), 1);

    // Without a name the memory refuses the scenario: the dialog stays open and the corrected
    // scenario ends it.
    bool openAfterTheRefusal = false;
    questions_.modal = [&](wxDialog& dialog) {
        auto* save = wxDynamicCast(wxWindow::FindWindowByLabel(L"&Сохранить", &dialog), wxButton);
        auto* name = wxDynamicCast(wxWindow::FindWindowByName(L"scenarioName", &dialog), wxTextCtrl);
        return whenShown(dialog, [&, save, name] {
            clickInDialog(save);
            once([&, save] { return capture_.contains(L"Название имеет недопустимые символы") && save->IsEnabled(); },
                 [&, save, name] {
                     openAfterTheRefusal = dialog.IsModal();
                     name->ChangeValue(L"Тревога");
                     clickInDialog(save);
                 });
        });
    };
    chooseMenuItem(Ids::ID_SCENARIO_ADD);
    EXPECT_TRUE(openAfterTheRefusal);
    ASSERT_EQ(scenarios()->GetItemCount(), 1);
    EXPECT_EQ(scenarios()->GetItemText(0, 1), L"Тревога");
    EXPECT_TRUE(labelled(L"&Применить")->IsEnabled());
}

TEST_F(PropertyMemoryTest, AWriteThatFailsHalfwayKeepsTheEditsPending) {
    loudspeakers_.add(1);
    test::AudioFlash flash(loudspeakers_.loudspeaker(0), 64 * 1024);
    openMemoryPage();
    addFragment(L"Гонг", writeFile("gong.mp3", std::string(3000, 'g')));
    loudspeakers_.loudspeaker(0).faultOn("voiceMemProgram", 2, test::EmulatedDevice::Fault::error, 100);

    showProgress();
    EXPECT_FALSE(propertyPanel()->writeAudioMemory());
    EXPECT_TRUE(messageShown(L"Произошла ошибка при обновлении аудио данных"));
    EXPECT_TRUE(vokar(0)->getAudioMemory(false, true)->hasChanges());
    EXPECT_NE(fragments()->GetItemText(0, 3), L"Расположен в памяти устройства");
}

TEST_F(PropertyMemoryTest, ARevertReadsTheMemoryBackOffTheWindow) {
    loudspeakers_.add(1);
    test::AudioFlash flash(loudspeakers_.loudspeaker(0), 64 * 1024);
    openMemoryPage();
    addFragment(L"Гонг", writeFile("gong.mp3", std::string(3000, 'g')));
    ASSERT_EQ(fragments()->GetItemCount(), 1);

    // While time stands still the unanswered read waits, and the page with it, empty and disabled.
    loudspeakers_.loudspeaker(0).faultOn("voiceMemRead", 0, test::EmulatedDevice::Fault::silence);
    std::optional<test::ManualClock> clock(std::in_place);
    clock->holdSteady();
    startMenuItem(Ids::ID_MEMORY_REVERT);
    EXPECT_FALSE(notebook()->GetCurrentPage()->IsEnabled());
    EXPECT_EQ(fragments()->GetItemCount(), 0);
    clock.reset();
    memoryShown();
    EXPECT_EQ(fragments()->GetItemCount(), 0);
    EXPECT_FALSE(vokar(0)->getAudioMemory(false, true)->hasChanges());
    EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());
}

TEST_F(PropertyMemoryTest, TheProgressDialogEndsWithTheLastReportAndDropsLateOnes) {
    loudspeakers_.add(2);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));
    const auto first = vokar(0);
    const auto second = vokar(1);
    frm::ProgressBarDialog::Reporter report;
    {
        frm::ProgressBarDialog dialog(frame_, L"Обновление");
        dialog.expect(first);
        dialog.expect(second);
        report = dialog.reporter();
        const int result = whenShown(dialog, [&] {
            EXPECT_TRUE(screenshot("progress_dialog"));
            std::thread([&] {
                report(first, 40);
                report(second, 100);
                report(first, -1);
            }).join();
        });
        EXPECT_EQ(result, wxID_CANCEL);
        ASSERT_EQ(dialog.failedDevices().size(), 1u);
        EXPECT_EQ(dialog.failedDevices()[0], first);
    }
    // A device that goes on reporting after the dialog is gone reaches nothing.
    std::thread([&] { report(first, 100); }).join();
    EXPECT_TRUE(
        pumpUntil([&] { return capture_.contains(L"Progress bar doesn't exist! percent=100", L"IMPOR"); }));
}

TEST_F(PropertyMemoryTest, AFirmwareCollectionOfTwoImagesIsWrittenAndClosesThePage) {
    loudspeakers_.add(1);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    emulator.setRebootPause(100ms);
    test::FirmwareFlash flash(emulator, 256 * 1024);
    const std::string lineControl = test::unifiedImage(test::firmwareModel("Vokar-B-LC"), 0xF000);
    const std::string main = test::unifiedImage(test::firmwareModel("Vokar-B"), 0x3C000);
    const std::string path = writeFile("update.fc", test::collectionFile({lineControl, main}));
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(emulator);

    questions_.paths = {wxString::FromUTF8(path).ToStdWstring()};
    showProgress();
    clickLabelled(L"&Обновить прошивку");
    EXPECT_TRUE(messageShown(L"Прошивка успешно отправлена на прибор"));
    EXPECT_EQ(flash.written(), main);
    // The last image's restart follows its report.
    EXPECT_TRUE(pumpUntil([&] { return emulator.rebootCount() == 2; }));
    EXPECT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
    EXPECT_EQ(emulator.rebootCount(), 2);
}

TEST_F(PropertyMemoryTest, ALineOutOfTheNormIsReported) {
    loudspeakers_.add(1);
    loudspeakers_.loudspeaker(0).setLineFailure("line 2");
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    // Later loudspeakers hide the group of the line settings; the button still measures.
    auto* measure = wxDynamicCast(labelled(L"Измерить параметры линии"), wxButton);
    ASSERT_NE(measure, nullptr);
    wxCommandEvent click(wxEVT_BUTTON, measure->GetId());
    click.SetEventObject(measure);
    measure->GetEventHandler()->ProcessEvent(click);
    EXPECT_TRUE(messageShown(L"Параметры линии 2 не соответствуют норме"));
}

TEST_F(PropertyMemoryTest, TheLinesAreMeasuredAfterTheEqualizerFailedToRead) {
    // A loudspeaker that shows its line settings, whose equalizer reply does not read: the common
    // page's read fails every time.
    loudspeakers_.add(1, device::vokarA_2_01_72);
    test::LoudspeakerEmulator& emulator = loudspeakers_.loudspeaker(0);
    emulator.answer("get eq", "OK[get eq]: zz");
    emulator.setLineFailure("line 2");
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    ASSERT_TRUE(pumpUntil([&] { return !propertyPanel()->pageWaits(); }));
    EXPECT_FALSE(labelled(L"Контроль линии")->IsEnabled());

    // The measurement needs nothing of that read: it is offered, and measures.
    auto* measure = wxDynamicCast(labelled(L"Измерить параметры линии"), wxButton);
    ASSERT_NE(measure, nullptr);
    ASSERT_TRUE(measure->IsShownOnScreen());
    EXPECT_TRUE(measure->IsEnabled());
    click(measure, wxRect(measure->GetClientSize()));
    EXPECT_TRUE(messageShown(L"Параметры линии 2 не соответствуют норме"));
}

}  // namespace
