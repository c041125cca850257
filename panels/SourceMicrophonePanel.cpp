#include "panels/SourceMicrophonePanel.h"

#include <unistd.h>
#include <wx/thread.h>

#include <algorithm>
#include <functional>

#include "app/kit/ListCtrlProvider.h"
#include "app/kit/Questions.h"
#include "foundation/Files.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "panels/SourcePanelParts.h"

namespace frm {
namespace {

using AlarmUse = base::SingletonSlot<AlarmChannel>::Use;

constexpr int kKeyDelete = 127;
constexpr int kKeyA = 65;
// The priority of the panel's broadcasts.
constexpr int kPriority = 2;
constexpr int kListSource = 1;

const wchar_t* const kMicrophoneDescription = L"Вещание с микрофона";
const wchar_t* const kMessageDescription = L"Вещание сообщения (микрофон)";
const wchar_t* const kRecordingDescription = L"Запись с микрофона";
// The recording alone goes at the channel's lowest priority.
constexpr int kRecordingPriority = 0;

}  // namespace

SourceMicrophonePanel::SourceMicrophonePanel(wxWindow* parent, ListCtrlProvider* provider,
                                             StateCallback state, Questions& questions)
    : fb::SourceMicrophonePanel(parent, wxID_ANY, wxDefaultPosition, wxSize(1200, 640), wxTAB_TRAVERSAL),
      self_(std::make_shared<SourceMicrophonePanel*>(this)),
      provider_(provider),
      state_(std::move(state)),
      questions_(questions) {
    options_.gong = pref::getBool(setting::recordGongEnable);
    // A save killed halfway left its hidden temporary among the recordings.
    base::removeStaleTemporaries(getRecordDirectory());
}

void SourceMicrophonePanel::buildControls() {
    if (hasControls()) return;
    buildLayout();
    m_listCtrlRecord->SetWindowStyleFlag(wxLC_REPORT | wxLC_NO_HEADER | wxLC_HRULES);
    m_listCtrlRecord->InsertColumn(0, wxT("Record Playlist"), wxLIST_FORMAT_LEFT, 1000);
    m_checkBoxGong->SetValue(options_.gong);
    readOptions();
    options_.rememberedBroadcast = options_.broadcast;
    options_.rememberedRecord = options_.record;
    showOptions();
}

SourceMicrophonePanel::~SourceMicrophonePanel() {
    debug::Place("frm::SourceMicrophonePanel::~SourceMicrophonePanel").trace3(L"");
    self_.reset();
    users_ = RecordingUsers();
    state_ = nullptr;
    gongPaths_.clear();
}

void SourceMicrophonePanel::readOptions() {
    options_.listSource = m_radioBoxRecordSource->GetSelection() == kListSource;
    options_.broadcast = m_checkBoxList->GetValue();
    options_.record = m_checkBoxRecord->GetValue();
    options_.gong = m_checkBoxGong->GetValue();
}

void SourceMicrophonePanel::showOptions() {
    m_radioBoxRecordSource->SetSelection(options_.listSource ? kListSource : 0);
    m_checkBoxList->SetValue(options_.broadcast);
    m_checkBoxRecord->SetValue(options_.record);
    m_checkBoxGong->SetValue(options_.gong);
    const MicrophoneControls controls = microphoneControls(options_);
    m_checkBoxList->Enable(controls.broadcast);
    m_checkBoxRecord->Enable(controls.record);
    m_textCtrlRecordName->Enable(controls.title);
    m_checkBoxGong->Enable(controls.gong);
    m_choiceGong->Enable(controls.gongChoice);
}

// A recording that has not been saved yet is no longer offered once the options change.
void SourceMicrophonePanel::optionsChanged() {
    recordingReady_ = false;
    launch_.recording = false;
    m_buttonRecordSave->Enable(false);
}

void SourceMicrophonePanel::fillRecordList(const wxString& folder) {
    m_listCtrlRecord->DeleteAllItems();
    for (const std::wstring& title : recordedTitles(folder.ToStdWstring()))
        m_listCtrlRecord->InsertItem(m_listCtrlRecord->GetItemCount(), title);
    m_buttonDelete->Enable(false);
}

void SourceMicrophonePanel::fillGongChoises() {
    // The gongs the message panels offer, without their "no gong" entry: "Включить" says that.
    gongPaths_ = fillGongChoice(*m_choiceGong, false);
    std::vector<std::wstring> names;
    for (const std::wstring& path : gongPaths_) names.push_back(base::getFileName(path, true));
    int chosen = entryToChoose(names, pref::getWString(setting::recordGongFileName), wxNOT_FOUND);
    if (chosen == wxNOT_FOUND) {
        debug::Place("frm::SourceMicrophonePanel::fillGongChoises").debug(L"Selection gong file not found");
        // The first gong shows then: a start plays the gong that shows.
        if (!names.empty()) chosen = 0;
    }
    m_choiceGong->SetSelection(chosen);
}

std::vector<std::shared_ptr<IPlayback>> SourceMicrophonePanel::getPlaybackSources() const {
    return recordedPlaybacks();
}

std::vector<long> SourceMicrophonePanel::selectedRows() const {
    std::vector<long> rows;
    for (long row = m_listCtrlRecord->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
         row = m_listCtrlRecord->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        rows.push_back(row);
    }
    return rows;
}

bool SourceMicrophonePanel::CheckSelectedElements() {
    const debug::Place place("frm::SourceMicrophonePanel::CheckSelectedElements");
    place.trace(L"");
    readOptions();
    MicrophoneStart start;
    start.options = options_;
    start.messageSelected = !selectedRows().empty();
    if (options_.broadcast) {
        const std::vector<ZoneElement::DevicePtr> targets = provider_->getTargetDevices();
        start.targets = targets.size();
        start.targetOnline =
            std::any_of(targets.begin(), targets.end(),
                        [](const ZoneElement::DevicePtr& device) { return device->isOnlineAndResponding(); });
    }
    start.gongSelection = m_choiceGong->GetSelection();
    start.gongCount = gongPaths_.size();
    place.info(options_.listSource ? L"a source is list" : L"a source is a microphone");
    const MicrophoneRefusal refusal = microphoneRefusal(start);
    if (refusal == MicrophoneRefusal::gongOutOfRange) {
        place.error(L"Internal error. Gong index outside the range. (%1% of %2%)", start.gongSelection,
                    start.gongCount);
        return false;
    }
    if (refusal != MicrophoneRefusal::none) {
        place.notice(refusalText(refusal));
        return false;
    }
    place.info(L"the check is successful");
    return true;
}

void SourceMicrophonePanel::EnableRecordPanels(bool enable) {
    debug::Place("frm::SourceMicrophonePanel::EnableRecordPanels").trace(L"");
    m_panelOptions->Enable(enable);
    m_listCtrlRecord->Enable(enable);
}

void SourceMicrophonePanel::stopBroadcast() {
    {
        // Only the panel's own broadcast: one that took it over is not the panel's to end.
        const AlarmUse channel(AlarmChannel::instanceSlot());
        if (channel && launch_.running && channel->getDescription() == launch_.description &&
            channel->getPriority() == launch_.priority) {
            channel->stop();
        }
    }
    resetStartButton();
}

void SourceMicrophonePanel::resetStartButton() {
    m_buttonStartAndStop->SetLabel(wxT("Старт"));
    if (state_) state_(wxString());
    EnableRecordPanels(true);
    if (m_checkBoxRecord->GetValue()) m_buttonRecordSave->Enable(recordingReady_);
}

AlarmChannel::NoticeListener SourceMicrophonePanel::noticeListener() {
    return [self = std::weak_ptr<SourceMicrophonePanel*>(self_),
            number = launch_.number](AlarmChannel::Notice notice) {
        GuiThreadInvoker::add([self, number, notice] {
            if (const Self panel = self.lock()) (*panel)->handlerNoticeCallack(number, notice);
        });
    };
}

void SourceMicrophonePanel::handlerNoticeCallack(unsigned number, AlarmChannel::Notice notice) {
    debug::Place("frm::SourceMicrophonePanel::handlerNoticeCallack").trace(L"");
    if (number != launch_.number || !launch_.running) return;
    if (notice != AlarmChannel::finished && notice != AlarmChannel::stopped &&
        notice != AlarmChannel::interrupted)
        return;
    // The channel tells the end once the stream, and so the recording, is closed.
    launch_.running = false;
    recordingReady_ = launch_.recording && base::pathExists(temporaryRecording());
    launch_.recording = false;
    resetStartButton();
}

bool SourceMicrophonePanel::channelFree(AlarmChannel& channel) {
    if (!channel.isBusy()) return true;
    if (channel.getPriority() > kPriority) {
        debug::Place("frm::SourceMicrophonePanel::buttonStartAndStopOnButtonClick").notice(L"Канал занят.");
        return false;
    }
    if (!questions_.askYesNo(L"Сообщение",
                             L"Канал занят. Описание: '" + channel.getDescription() + L"'\nПрервать?"))
        return false;
    channel.stop();
    return true;
}

bool SourceMicrophonePanel::launch(AlarmChannel& channel) {
    const bool broadcast = m_checkBoxList->GetValue();
    const bool record = m_checkBoxRecord->GetValue();
    std::wstring gong;
    const int selection = m_choiceGong->GetSelection();
    if (pref::getBool(setting::recordGongEnable) && broadcast && selection >= 0 &&
        static_cast<std::size_t>(selection) < gongPaths_.size()) {
        gong = gongPaths_[static_cast<std::size_t>(selection)];
    }
    const int volume = pref::getInt(setting::volumeMicrophone);
    ++launch_.number;
    launch_.priority = kPriority;
    launch_.recording = false;
    if (m_radioBoxRecordSource->GetSelection() == kListSource) {
        const std::vector<long> rows = selectedRows();
        const std::wstring message =
            rows.empty()
                ? std::wstring()
                : getRecordDirectory() + m_listCtrlRecord->GetItemText(rows.front()).ToStdWstring() + L".mp3";
        launch_.description = kMessageDescription;
        return channel.launch(kPriority, launch_.description, message, gong, volume, noticeListener());
    }
    const std::wstring recording = record ? temporaryRecording() : std::wstring();
    // A recording that fails to open must not leave the last one to be offered as this one.
    if (record) ::unlink(base::toUtf8(recording).c_str());
    launch_.recording = record;
    if (record && !broadcast) {
        launch_.description = kRecordingDescription;
        launch_.priority = kRecordingPriority;
        return channel.launch(launch_.description, recording, noticeListener());
    }
    launch_.description = kMicrophoneDescription;
    return channel.launch(AlarmChannel::microphone, kPriority, launch_.description, gong, recording, volume,
                          noticeListener());
}

void SourceMicrophonePanel::buttonStartAndStopOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SourceMicrophonePanel::buttonStartAndStopOnButtonClick").trace(L"");
    pref::setWString(setting::recordGongFileName.key, m_choiceGong->GetStringSelection().ToStdWstring());
    pref::setBool(setting::recordGongEnable.key, m_checkBoxGong->GetValue());
    if (m_buttonStartAndStop->GetLabel() != wxT("Старт")) {
        stopBroadcast();
        m_buttonDelete->Enable(!selectedRows().empty());
        return;
    }
    if (!CheckSelectedElements()) return;
    const AlarmUse channel(AlarmChannel::instanceSlot());
    if (!channel || !channelFree(*channel.get())) return;
    recordingReady_ = false;
    m_buttonRecordSave->Enable(false);
    if (!launch(*channel.get())) {
        launch_.recording = false;
        if (state_) state_(wxString());
        return;
    }
    launch_.running = true;
    EnableRecordPanels(false);
    m_buttonStartAndStop->SetLabel(wxT("Стоп"));
    if (state_) state_(wxT("Запущено"));
    m_buttonDelete->Enable(false);
}

void SourceMicrophonePanel::radioBoxRecordSourceOnRadioBox(wxCommandEvent&) {
    debug::Place("frm::SourceMicrophonePanel::radioBoxRecordSourceOnRadioBox").trace(L"");
    const bool list = m_radioBoxRecordSource->GetSelection() == kListSource;
    readOptions();
    options_.listSource = !list;
    options_.chooseSource(list);
    showOptions();
    optionsChanged();
}

void SourceMicrophonePanel::checkBoxListOnCheckBox(wxCommandEvent&) {
    debug::Place("frm::SourceMicrophonePanel::checkBoxListOnCheckBox").trace(L"");
    readOptions();
    showOptions();
}

void SourceMicrophonePanel::checkBoxRecordOnCheckBox(wxCommandEvent&) {
    debug::Place("frm::SourceMicrophonePanel::checkBoxRecordOnCheckBox").trace(L"");
    readOptions();
    showOptions();
    optionsChanged();
}

void SourceMicrophonePanel::checkBoxGongOnCheckBox(wxCommandEvent&) {
    debug::Place("frm::SourceMicrophonePanel::checkBoxGongOnCheckBox").trace(L"");
    readOptions();
    showOptions();
    fillGongChoises();
}

void SourceMicrophonePanel::buttonRecordSaveOnClick(wxCommandEvent&) {
    const debug::Place place("frm::SourceMicrophonePanel::buttonRecordSaveOnClick");
    place.trace(L"");
    const std::wstring title = m_textCtrlRecordName->GetValue().ToStdWstring();
    if (!m_checkBoxRecord->GetValue()) {
        place.notice(L"Запись не активна");
        return;
    }
    if (!saveRecording(title, getRecordDirectory(), temporaryRecording())) return;
    m_listCtrlRecord->InsertItem(m_listCtrlRecord->GetItemCount(), title);
    recordingReady_ = false;
    m_buttonRecordSave->Enable(false);
    m_textCtrlRecordName->Clear();
}

void SourceMicrophonePanel::deleteSelectedItems() {
    const debug::Place place("frm::SourceMicrophonePanel::deleteSelectedItems");
    {
        const AlarmUse channel(AlarmChannel::instanceSlot());
        if (channel && channel->isBusy()) {
            place.warn(L"Остановите канал тревог");
            return;
        }
    }
    std::vector<long> rows = selectedRows();
    std::sort(rows.rbegin(), rows.rend());
    const std::wstring folder = getRecordDirectory();
    for (const long row : rows) {
        if (deleteRecording(m_listCtrlRecord->GetItemText(row).ToStdWstring(), folder, users_))
            m_listCtrlRecord->DeleteItem(row);
    }
    for (long row = 0; row < m_listCtrlRecord->GetItemCount(); ++row)
        m_listCtrlRecord->SetItemState(row, 0, wxLIST_STATE_SELECTED);
}

void SourceMicrophonePanel::deleteOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SourceMicrophonePanel::deleteOnButtonClick").trace(L"");
    deleteSelectedItems();
}

void SourceMicrophonePanel::listCtrlRecordOnListItemSelected(wxListEvent& event) {
    debug::Place("frm::SourceMicrophonePanel::listCtrlRecordOnListItemSelected").trace(L"");
    event.Skip();
    m_buttonDelete->Enable(true);
}

void SourceMicrophonePanel::listCtrlRecordOnListItemDeselected(wxListEvent& event) {
    debug::Place("frm::SourceMicrophonePanel::listCtrlRecordOnListItemDeselected").trace(L"");
    event.Skip();
    m_buttonDelete->Enable(false);
}

void SourceMicrophonePanel::listCtrlRecordKeyUp(wxKeyEvent& event) {
    debug::Place("frm::SourceMicrophonePanel::listCtrlRecordKeyUp").trace(L"");
    event.Skip();
    if (event.GetKeyCode() == kKeyDelete) {
        deleteSelectedItems();
    } else if (event.ControlDown() && event.GetKeyCode() == kKeyA) {
        for (long row = 0; row < m_listCtrlRecord->GetItemCount(); ++row)
            m_listCtrlRecord->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
}

}  // namespace frm
