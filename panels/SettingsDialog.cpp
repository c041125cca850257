#include "panels/SettingsDialog.h"

#include <wx/dirdlg.h>

#include "audio/AlarmChannel.h"
#include "audio/PulseCapture.h"
#include "audio/mp3streamf.h"
#include "foundation/DataFolders.h"
#include "foundation/Files.h"
#include "foundation/NetworkInterfaces.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "panels/LogFiles.h"

namespace frm {
namespace {

constexpr const wchar_t* kDefaultCaptureDevice = L"[по умолчанию]";

bool alarmChannelBusy() {
    base::SingletonSlot<AlarmChannel>::Use channel(AlarmChannel::instanceSlot());
    return channel && channel->isBusy();
}

std::wstring textOf(const wxTextCtrl* field) {
    return field->GetValue().ToStdWstring();
}

}  // namespace

void setSliderToolTip(wxSlider* slider, int value) {
    slider->SetToolTip(wxString::Format(wxT("%i%%"), value));
}

SettingsDialog::SettingsDialog(wxWindow* parent, bool administrator, bool showLogLevel)
    : fb::SettingsDialog(parent, wxID_ANY, wxT("Настройки"), wxDefaultPosition, wxSize(862, 680)),
      showLogLevel_(showLogLevel),
      administrator_(administrator),
      opened_(SettingsForm::open(administrator)),
      idleTimeEdit_(opened_.idleMinutes) {
    captureDeviceName_ = opened_.captureDevice;
    m_notebook->ChangeSelection(0);
    m_multicastAddress->SetMinSize(wxSize(
        m_multicastAddress->GetSizeFromTextSize(m_multicastAddress->GetTextExtent(wxT("_255.255.255.255_")))
            .x,
        m_multicastAddress->GetSize().y));

    wxTextCtrl* const folderFields[SettingsForm::folderCount] = {m_dirGong, m_dirService, m_dirAlarm,
                                                                 m_dirRecord};
    for (int folder = 0; folder < SettingsForm::folderCount; ++folder)
        folderFields[folder]->ChangeValue(opened_.folders[folder]);
    m_placePage->GetSizer()->Show(m_alarmDirBox, opened_.alarmButtons);
    m_placePage->GetSizer()->Show(m_gongBox, opened_.alarmButtons);
    m_securityPage->GetSizer()->Show(m_alarmPasswordBox, opened_.alarmButtons);
    if (opened_.passwordsLocked) {
        for (wxTextCtrl* field : {m_administratorPassword, m_administratorRepeat, m_alarmPassword,
                                  m_alarmRepeat, m_interfacePassword, m_interfaceRepeat})
            field->Disable();
        m_idleTime->Disable();
        m_passwordsNote->SetLabel(*opened_.passwordsLocked);
        m_passwordsNote->Show();
    }
    m_placePage->Layout();
    m_securityPage->Layout();
    fillGongChoices();
    fillCaptureDevices();
    fillInterfaces();

    m_serviceVolume->SetValue(opened_.serviceVolume);
    m_microphoneVolume->SetValue(opened_.microphoneVolume);
    setSliderToolTip(m_serviceVolume, m_serviceVolume->GetValue());
    setSliderToolTip(m_microphoneVolume, m_microphoneVolume->GetValue());

    if (administrator_) {
        m_multicastAddress->ChangeValue(opened_.multicastAddress);
        m_basePort->SetValue(opened_.basePort);
        m_ttl->SetValue(opened_.ttl);
    } else {
        m_notebook->RemovePage(static_cast<size_t>(m_notebook->FindPage(m_networkPage)));
        m_networkPage->Hide();
    }
    m_idleTime->SetValue(opened_.idleMinutes);
    m_idleTime->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
        const wxChar character = event.GetUnicodeKey();
        idleTimeEdit_.keyPressed(character == WXK_NONE ? 0 : static_cast<wchar_t>(character));
        event.Skip();
    });
    m_idleTime->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
        idleTimeEdit_.textChanged(event.GetString().ToStdWstring());
        // Shown again as the number that is kept.
        if (idleTimeEdit_.filledByToolkit()) CallAfter([this] { m_idleTime->SetValue(opened_.idleMinutes); });
        event.Skip();
    });
    m_logLevel->SetStringSelection(opened_.logLevel);
    fillLogDates();
    m_logLevelLabel->Show(showLogLevel_);
    m_logLevel->Show(showLogLevel_);
    m_eventsPage->Layout();
}

SettingsDialog::~SettingsDialog() {
    debug::Place("frm::SettingsDialog::~SettingsDialog").trace(L"");
    endCaptureTest();
}

void SettingsDialog::fillGongChoices() {
    const debug::Place place("frm::SettingsDialog::fillGongChoices");
    if (!opened_.alarmButtons) return;
    m_gongChoice->Clear();
    std::vector<std::wstring> gongs = AlarmChannel::getGongList(textOf(m_dirGong));
    gongs.emplace_back();
    for (const std::wstring& path : gongs) m_gongChoice->Append(base::getFileName(path, true));
    gongShown_ = m_gongChoice->FindString(opened_.gongFile, true);
    if (gongShown_ == wxNOT_FOUND) {
        place.debug(L"Selection gong file not found.");
        return;
    }
    m_gongChoice->SetSelection(gongShown_);
}

void SettingsDialog::fillCaptureDevices() {
    for (const std::wstring& name : audio::captureSources()) {
        m_captureDevice->Append(name);
        if (name == captureDeviceName_) m_captureDevice->SetSelection(m_captureDevice->GetCount() - 1);
    }
    m_captureDevice->Append(kDefaultCaptureDevice);
    if (m_captureDevice->GetSelection() == wxNOT_FOUND)
        m_captureDevice->SetSelection(m_captureDevice->GetCount() - 1);
    captureShown_ = m_captureDevice->GetSelection();
}

void SettingsDialog::fillInterfaces() {
    const debug::Place place("frm::SettingsDialog::fillInterfaces");
    for (const os::NetworkInterface& record : os::getNetworkInterfaceList()) {
        m_interfaceChoice->Append(record.name + L" [" + base::widen(record.ip) + L"]");
        interfaces_.emplace_back(record.name, record.ip);
        place.debug(L"interface pair is '%1%/%2%'", record.name, record.ip);
        if (record.ip == opened_.interfaceIp) {
            place.debug(L"loaded interface pair is '%1%/%2%'", record.name, record.ip);
            m_interfaceChoice->SetSelection(m_interfaceChoice->GetCount() - 1);
        }
    }
}

void SettingsDialog::fillLogDates() {
    for (const std::wstring& date : logDates(os::getLogDirectory())) m_logDate->Append(date);
    if (!m_logDate->IsEmpty()) m_logDate->SetSelection(m_logDate->GetCount() - 1);
}

bool SettingsDialog::chooseDirectory(wxTextCtrl* field, const wxString& title) {
    wxDirDialog chooser(this, title, wxEmptyString, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (chooser.ShowModal() != wxID_OK || !base::isFolder(chooser.GetPath().ToStdWstring())) return false;
    field->ChangeValue(chooser.GetPath());
    return true;
}

void SettingsDialog::fillLog() {
    const debug::Place place("frm::SettingsDialog::fillLog");
    place.trace2(L"");
    if (m_logDate->GetSelection() == wxNOT_FOUND) {
        place.debug(L"No log files found");
        return;
    }
    const std::wstring path =
        os::joinPath(os::getLogDirectory(), m_logDate->GetStringSelection().ToStdWstring() + L".log");
    if (!base::pathExists(path)) {
        place.debug(L"Log-file doesn't exist: %1%", path);
        return;
    }
    const wxString shown = m_logView->GetValue();
    // Painted at once, without running the event loop: no click reaches a handler meanwhile.
    m_logView->ChangeValue(wxT("Загрузка содержимого..."));
    m_logView->Update();
    const LogFileText file = readLogFile(path);
    switch (file.status) {
        case LogFileText::loaded:
            m_logView->ChangeValue(file.text);
            return;
        case LogFileText::tooLarge: {
            const std::wstring text = L"Размер журнала имеет большую величину.\n" + path;
            m_logView->ChangeValue(text);
            place.debug(L"%1%", text);
            return;
        }
        case LogFileText::missing:
            place.debug(L"Log-file doesn't exist: %1%", path);
            break;
        case LogFileText::unreadable:
            place.warn(L"Fail to load a log file '%1%'", path);
            break;
    }
    m_logView->ChangeValue(shown);
}

void SettingsDialog::onNotebookPageChanged(wxNotebookEvent& event) {
    debug::Place("frm::SettingsDialog::onNotebookPageChanged").trace(L"");
    const int page = event.GetSelection();
    if (page >= 0 && static_cast<size_t>(page) < m_notebook->GetPageCount() &&
        m_notebook->GetPage(static_cast<size_t>(page)) == m_eventsPage)
        fillLog();
    event.Skip();
}

void SettingsDialog::buttonPlayOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::SettingsDialog::buttonPlayOnButtonClick");
    place.trace(L"");
    if (testPlaying_) {
        endCaptureTest();
        return;
    }
    base::SingletonSlot<mp3streamf>::Use stream(mp3streamf::instanceSlot());
    if (!stream) {
        place.notice(L"Тест не был запущен");
        return;
    }
    if (alarmChannelBusy()) {
        place.notice(L"Модуль занят");
        return;
    }
    auto held = stream->hold();
    if (stream->is_stream()) {
        place.notice(L"Модуль занят");
        return;
    }
    const int chosen = m_captureDevice->GetSelection();
    const wxString name =
        chosen == wxNOT_FOUND ? wxString() : m_captureDevice->GetString(static_cast<unsigned>(chosen));
    stream->localOutput.store(true);
    stream->set_microphone_name(name == kDefaultCaptureDevice ? std::wstring() : name.ToStdWstring());
    stream->set_read_mode(mp3streamf::microphone);
    // Neither the last broadcast's gong and message nor its recording belong to the test.
    stream->set_files({});
    stream->set_record_path(std::wstring());
    const bool started = stream->stream_create();
    // The stream took the flag when it started; a broadcast that takes the stream over is not
    // played here too.
    stream->localOutput.store(false);
    if (!started) {
        place.notice(L"Тест не был запущен");
        return;
    }
    testStream_ = stream->created();
    m_buttonPlay->SetLabel(wxT("Стоп"));
    testPlaying_ = true;
}

void SettingsDialog::endCaptureTest() {
    if (!testPlaying_) return;
    base::SingletonSlot<mp3streamf>::Use stream(mp3streamf::instanceSlot());
    if (stream) {
        auto held = stream->hold();
        // A broadcast that took the stream over meanwhile goes on.
        if (stream->is_stream() && stream->created() == testStream_) stream->stream_close();
        stream->localOutput.store(false);
    }
    m_buttonPlay->SetLabel(wxT("Воспроизвести"));
    testPlaying_ = false;
}

void SettingsDialog::logOnChoice(wxCommandEvent&) {
    debug::Place("frm::SettingsDialog::logOnChoice").trace(L"");
    fillLog();
}

void SettingsDialog::buttonDirGongOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SettingsDialog::buttonDirGongOnButtonClick").trace(L"");
    if (chooseDirectory(m_dirGong, wxT("Каталог для файлов 'Гонг'"))) fillGongChoices();
}

void SettingsDialog::buttonDirServiceOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SettingsDialog::buttonDirServiceOnButtonClick").trace(L"");
    chooseDirectory(m_dirService, wxT("Каталог для файлов 'Служебные сообщения'"));
}

void SettingsDialog::buttonDirAlarmOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SettingsDialog::buttonDirAlarmOnButtonClick").trace(L"");
    chooseDirectory(m_dirAlarm, wxT("Каталог для файлов 'Тревожные оповещения'"));
}

void SettingsDialog::buttonDirRecordOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SettingsDialog::buttonDirRecordOnButtonClick").trace(L"");
    chooseDirectory(m_dirRecord, wxT("Каталог для файлов 'Записанные сообщения'"));
}

void SettingsDialog::volumeOnScroll(wxScrollEvent& event) {
    debug::Place("frm::SettingsDialog::volumeOnScroll").trace(L"");
    if (auto* slider = dynamic_cast<wxSlider*>(event.GetEventObject()))
        setSliderToolTip(slider, event.GetPosition());
    event.Skip();
}

SettingsForm SettingsDialog::formFromControls() const {
    const debug::Place place("frm::SettingsDialog::formFromControls");
    SettingsForm form = opened_;
    form.folders = {textOf(m_dirGong), textOf(m_dirService), textOf(m_dirAlarm), textOf(m_dirRecord)};
    if (m_gongChoice->GetSelection() != gongShown_)
        form.gongFile = m_gongChoice->GetStringSelection().ToStdWstring();
    form.serviceVolume = m_serviceVolume->GetValue();
    form.microphoneVolume = m_microphoneVolume->GetValue();

    const int chosen = m_interfaceChoice->GetSelection();
    form.interfaceIp.clear();
    if (chosen >= 0 && static_cast<std::size_t>(chosen) < interfaces_.size()) {
        place.debug(L"selected interface number is %1%", chosen);
        form.interfaceName = interfaces_[static_cast<std::size_t>(chosen)].first;
        form.interfaceIp = interfaces_[static_cast<std::size_t>(chosen)].second;
    }
    form.multicastAddress = textOf(m_multicastAddress);
    form.basePort = m_basePort->GetValue();
    form.ttl = m_ttl->GetValue();

    const int device = m_captureDevice->GetSelection();
    if (device != captureShown_ && device != wxNOT_FOUND) {
        const wxString name = m_captureDevice->GetString(static_cast<unsigned>(device));
        form.captureDevice = name == kDefaultCaptureDevice ? std::wstring() : name.ToStdWstring();
    }
    form.passwords = {PasswordPair{textOf(m_administratorPassword), textOf(m_administratorRepeat)},
                      PasswordPair{textOf(m_alarmPassword), textOf(m_alarmRepeat)},
                      PasswordPair{textOf(m_interfacePassword), textOf(m_interfaceRepeat)}};
    form.idleMinutes = idleTimeEdit_.value(m_idleTime->GetTextValue().ToStdWstring(), m_idleTime->GetValue());
    form.logLevel = m_logLevel->GetStringSelection().ToStdWstring();
    return form;
}

void SettingsDialog::buttonOkOnClick(wxCommandEvent&) {
    const debug::Place place("frm::SettingsDialog::buttonOkOnClick");
    place.trace(L"");
    const SettingsForm form = formFromControls();
    const std::vector<SettingsForm::Refusal> refusals = form.check(opened_);
    for (const SettingsForm::Refusal& refusal : refusals) {
        if (refusal.warning) {
            place.warn(L"%1%", refusal.text);
        } else {
            place.notice(L"%1%", refusal.text);
        }
    }
    if (!refusals.empty()) return;
    form.write(opened_);
    captureDeviceName_ = form.captureDevice;
    EndDialog(wxID_OK);
}

void SettingsDialog::buttonCancelOnClick(wxCommandEvent&) {
    debug::Place("frm::SettingsDialog::buttonCancelOnClick").trace(L"");
    EndDialog(wxID_CANCEL);
}

}  // namespace frm
