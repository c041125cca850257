#pragma once
// The panel of the live microphone and the recorded messages. The operator broadcasts the
// microphone (after a gong when chosen) or a recorded message on the priority stream to the
// devices chosen in the main window, records the microphone, saves the recording under a title
// and deletes recordings that nothing uses. Every broadcast goes through the alarm channel; the
// panel checks the choices, launches and stops, and follows the channel's notices.
//
// Everything runs on the GUI thread; the notices come back to it through the GUI-thread invoker
// and reach the panel only while it exists and only for the launch they belong to.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/AlarmChannel.h"
#include "audio/IPlayback.h"
#include "layouts/SourceMicrophonePanel.h"
#include "panels/MicrophoneRules.h"
#include "panels/RecordedMessages.h"

namespace frm {

class ListCtrlProvider;
class Questions;

class SourceMicrophonePanel : public fb::SourceMicrophonePanel {
public:
    // Shows the state of the alarm channel in the main window: "Запущено" or empty.
    using StateCallback = std::function<void(const wxString&)>;
    using UseCheck = std::function<bool(const std::wstring& path)>;

    // The provider and the questions are not owned and outlive the panel.
    SourceMicrophonePanel(wxWindow* parent, ListCtrlProvider* provider, StateCallback state,
                          Questions& questions);
    ~SourceMicrophonePanel() override;
    SourceMicrophonePanel(const SourceMicrophonePanel&) = delete;
    SourceMicrophonePanel& operator=(const SourceMicrophonePanel&) = delete;

    // Makes the controls; the main window calls it when it first shows the panel. The gong
    // option shows the settings' value at the panel's construction.
    void buildControls();
    bool hasControls() const { return m_listCtrlRecord != nullptr; }

    // Whether a service message, an alarm message or a scheduled task plays a file.
    void setServiceMessageCheck(UseCheck check) { users_.serviceMessage = std::move(check); }
    void setAlarmMessageCheck(UseCheck check) { users_.alarmMessage = std::move(check); }
    void setScheduleCheck(UseCheck check) { users_.schedule = std::move(check); }

    std::wstring getRecordDirectory() const { return recordDirectory(); }
    void fillRecordList(const wxString& folder);
    void fillGongChoises();
    // The recordings as playback sources of the scheduler.
    std::vector<std::shared_ptr<IPlayback>> getPlaybackSources() const;

    // True when a broadcast may start; a refusal is shown.
    bool CheckSelectedElements();
    void EnableRecordPanels(bool enable);
    void stopBroadcast();
    void resetStartButton();
    void deleteSelectedItems();

protected:
    void listCtrlRecordKeyUp(wxKeyEvent& event) override;
    void listCtrlRecordOnListItemDeselected(wxListEvent& event) override;
    void listCtrlRecordOnListItemSelected(wxListEvent& event) override;
    void radioBoxRecordSourceOnRadioBox(wxCommandEvent& event) override;
    void checkBoxListOnCheckBox(wxCommandEvent& event) override;
    void checkBoxRecordOnCheckBox(wxCommandEvent& event) override;
    void buttonRecordSaveOnClick(wxCommandEvent& event) override;
    void checkBoxGongOnCheckBox(wxCommandEvent& event) override;
    void buttonStartAndStopOnButtonClick(wxCommandEvent& event) override;
    void deleteOnButtonClick(wxCommandEvent& event) override;

private:
    // Held by the notice listeners, which may outlive the panel; empty once the panel is gone.
    using Self = std::shared_ptr<SourceMicrophonePanel*>;
    // The broadcast the panel launched last.
    struct Launch {
        unsigned number = 0;
        std::wstring description;
        int priority = 0;
        // Running until the channel told its end.
        bool running = false;
        // It records, and the recording has not been dropped by a change of the options.
        bool recording = false;
    };

    void readOptions();
    void showOptions();
    void optionsChanged();
    // Whether the channel runs a broadcast, asking to interrupt one at most of the panel's
    // priority; false when the start does not go on.
    bool channelFree(AlarmChannel& channel);
    bool launch(AlarmChannel& channel);
    AlarmChannel::NoticeListener noticeListener();
    // On the GUI thread, for the launch numbered `number`.
    void handlerNoticeCallack(unsigned number, AlarmChannel::Notice notice);
    std::vector<long> selectedRows() const;

    Self self_;
    RecordingUsers users_;
    std::vector<std::wstring> gongPaths_;
    ListCtrlProvider* const provider_;
    StateCallback state_;
    Questions& questions_;
    MicrophoneOptions options_;
    Launch launch_;
    // A recording has ended and lies in the temporary file until it is saved.
    bool recordingReady_ = false;
};

}  // namespace frm
