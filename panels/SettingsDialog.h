#pragma once
// The modal dialog "Настройки": the folders, the gong, the volumes, the network and stream
// (administrator mode only), the capture device with its test, the lock passwords and the idle
// time, the log level (debug mode only) and the daily log files. What it edits is read and
// checked by frm::SettingsForm; the dialog only shows it and forwards the clicks.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "layouts/SettingsDialog.h"
#include "panels/SettingsForm.h"
#include "panels/SpinBoxEdit.h"

namespace frm {

// The slider's tooltip: the value and a percent sign.
void setSliderToolTip(wxSlider* slider, int value);

class SettingsDialog : public fb::SettingsDialog {
public:
    // Reads the settings and fills every page; the page "Сеть" only in administrator mode, the
    // log level only with `showLogLevel`.
    SettingsDialog(wxWindow* parent, bool administrator, bool showLogLevel);
    // Ends a running capture-device test.
    ~SettingsDialog() override;

    // Refills the gong choice from the folder now in the gong folder field.
    void fillGongChoices();
    // Lets the operator choose a folder for the field; false when none was chosen.
    bool chooseDirectory(wxTextCtrl* field, const wxString& title);
    // Shows the log file of the chosen date.
    void fillLog();

protected:
    void onNotebookPageChanged(wxNotebookEvent& event) override;
    void buttonDirGongOnButtonClick(wxCommandEvent& event) override;
    void buttonDirServiceOnButtonClick(wxCommandEvent& event) override;
    void buttonDirAlarmOnButtonClick(wxCommandEvent& event) override;
    void buttonDirRecordOnButtonClick(wxCommandEvent& event) override;
    void volumeOnScroll(wxScrollEvent& event) override;
    void buttonPlayOnButtonClick(wxCommandEvent& event) override;
    void logOnChoice(wxCommandEvent& event) override;
    void buttonOkOnClick(wxCommandEvent& event) override;
    void buttonCancelOnClick(wxCommandEvent& event) override;

private:
    void fillCaptureDevices();
    void fillInterfaces();
    void fillLogDates();
    // Stops the capture-device test's stream, unless a broadcast has taken it over.
    void endCaptureTest();
    // The form as the controls hold it; a choice left as it was filled keeps the opened value.
    SettingsForm formFromControls() const;

    std::wstring captureDeviceName_;
    const bool showLogLevel_;
    const bool administrator_;
    bool testPlaying_ = false;
    // mp3streamf::created of the test's stream.
    std::uint64_t testStream_ = 0;

    SettingsForm opened_;
    SpinBoxEdit idleTimeEdit_;
    // The selections as the choices were filled.
    int gongShown_ = wxNOT_FOUND;
    int captureShown_ = wxNOT_FOUND;
    // Name and address of each entry of the interface choice.
    std::vector<std::pair<std::wstring, std::string>> interfaces_;
};

}  // namespace frm
