#pragma once
// The panel from which the operator plays music playlists (the music panel) or internet-radio
// station lists (the radio panel) into the common stream: the list of playlists of one
// ListOfPlaylist on the left, the items of the playlist chosen there on the right, and the
// transport buttons that drive the one Player directly. What the player plays, and its
// playlist, are drawn in green. Its menu, the Delete key and dragging a row edit the lists
// (PlaylistEditor decides what the commands do).
//
// Everything runs on the GUI thread. The playlists' playing callbacks and the internet checks
// come back to it through the GUI-thread invoker and reach the panel only while it exists.

#include <memory>
#include <optional>
#include <vector>

#include "audio/ListOfPlaylist.h"
#include "foundation/NetworkProbes.h"
#include "layouts/SourcePlaylistPanel.h"
#include "panels/PlaylistEditor.h"
#include "panels/PlaylistPanelRules.h"

class Player;

namespace frm {

class ISchedulerControl;
class Questions;

class SourcePlaylistPanel : public fb::SourcePlaylistPanel {
public:
    // The scheduler control is not owned; the radio flag tells the radio panel. The commands put
    // their questions to the operator through `questions`.
    SourcePlaylistPanel(wxWindow* parent, ISchedulerControl* schedulerControl, bool radio,
                        Questions& questions);
    ~SourcePlaylistPanel() override;
    SourcePlaylistPanel(const SourcePlaylistPanel&) = delete;
    SourcePlaylistPanel& operator=(const SourcePlaylistPanel&) = delete;

    // Makes the controls; the main window calls it when it first shows the panel, which holds
    // nothing before its list of playlists is given.
    void buildControls();
    bool hasControls() const { return m_playlist != nullptr; }

    // Replaces the list of playlists (the current playlist stays) and redraws everything.
    void setListOfPlaylist(const std::shared_ptr<ListOfPlaylist>& listOfPlaylist);
    void redrawGuiElements(bool listOfPlaylist, bool playlist, bool menuItems, bool buttons);
    void showList();
    void showPlaylist();
    void updateListSize();
    void updateMenuItems();
    void updateButtons();
    // Callable from any thread: elsewhere than on the GUI thread it queues itself there.
    void updateColors(bool listOfPlaylist, bool playlist);

    // Deletes the selected rows of the active list (the menu command and the Delete key).
    void deleteSelected();
    // A copy of the current playlist's item at the first index of its selection.
    Playlist::Item getRightItem() const;

    // The web server whose answer tells the radio panel that the internet is reachable.
    void setInternetTarget(const os::InternetTarget& target) { internetTarget_ = target; }

protected:
    void listCtrlKeyUp(wxKeyEvent& event) override;
    void listCtrlLeaveWindow(wxMouseEvent& event) override;
    void listCtrlLeftDoubleClick(wxMouseEvent& event) override;
    void listCtrlLeftDown(wxMouseEvent& event) override;
    void listCtrlOnListColRightClick(wxListEvent& event) override;
    void listCtrlOnListItemDeselected(wxListEvent& event) override;
    void listCtrlOnListItemSelected(wxListEvent& event) override;
    void listCtrlMotion(wxMouseEvent& event) override;
    void listCtrlOnRightDown(wxMouseEvent& event) override;
    void buttonPrev(wxCommandEvent& event) override;
    void buttonPlay(wxCommandEvent& event) override;
    void buttonStop(wxCommandEvent& event) override;
    void buttonNext(wxCommandEvent& event) override;
    void controlPlaylistsOnButtonClick(wxCommandEvent& event) override;
    void addFilesOnMenuSelection(wxCommandEvent& event) override;
    void captureAudioWithDeviceOnMenuSelection(wxCommandEvent& event) override;
    void addDirOnMenuSelection(wxCommandEvent& event) override;
    void addUrlOnMenuSelection(wxCommandEvent& event) override;
    void editUrlOnMenuSelection(wxCommandEvent& event) override;
    void renameOnMenuSelection(wxCommandEvent& event) override;
    void clearPlayListOnMenuSelection(wxCommandEvent& event) override;
    void addPlaylistOnMenuSelection(wxCommandEvent& event) override;
    void deleteSelectedOnMenuSelection(wxCommandEvent& event) override;

private:
    // Held by the callbacks that may outlive the panel; empty once the panel is gone.
    using Self = std::shared_ptr<SourcePlaylistPanel*>;
    // What the pending internet check is for.
    struct InternetCheck {
        bool pending = false;
        bool notice = false;
        // The playlist to stop when the connection is gone; null when none.
        std::shared_ptr<Playlist> stopPlaylist;
    };

    wxListCtrl* getList(wxEvent& event) const;
    long getPositionUnderMouse(wxMouseEvent& event) const;
    std::vector<long> getSelectedPositions(wxListCtrl* list) const;
    BaseControlList& getControl(wxListCtrl* list) const;
    void hasInternetForRadio();
    void popupMenuWithDelay();
    // "Предыдущий элемент" and "Следующий элемент".
    void step(bool forward);

    // Runs the task on the GUI thread later, while the panel exists.
    void later(std::function<void(SourcePlaylistPanel&)> task) const;
    // One check at a time, off the GUI thread; its answer comes back to it.
    void checkInternet(bool notice, const std::shared_ptr<Playlist>& stopPlaylist);
    void internetAnswered(bool connected);
    // Calls updateColors(true, true) on the panel, while it exists, for a playlist's player events.
    Playlist::PlayingCallback playingCallback() const;
    // After a command: guards against the release of the key that closed its dialog, and
    // redraws what it changed.
    void afterCommand(const std::optional<PlaylistRedraw>& redraw);
    // The files of a folder tree, listed off the GUI thread; a long listing shows its progress
    // and may be cancelled (nothing then).
    std::optional<std::vector<std::wstring>> listFolder(const std::wstring& folder,
                                                        const std::wstring& extensions);
    // Logs the entry of the command at the place and gives the current playlist it works on; a
    // missing one is an internal fault.
    Playlist& commandPlaylist(const char* place);
    // Shows the URL dialog with the caption; true once the operator saved its values, which are
    // then in url and title.
    bool enterUrl(const std::wstring& caption, std::wstring& url, std::wstring& title);
    // Shows a row move in the list control: the moved row's texts go to `to`, the rows between
    // shift by one towards `from`.
    void moveRow(wxListCtrl* list, long from, long to);

    Self self_;
    std::shared_ptr<ListOfPlaylist> listOfPlaylist_;
    std::shared_ptr<Playlist> currentPlaylist_;
    wxListCtrl* activeList_ = nullptr;
    long rowUnderMouse_ = -1;
    long clickedItem_ = -1;
    const bool radio_;
    long lastColoredPosition_ = -1;
    ISchedulerControl* const schedulerControl_;
    KeyUpGuard keyUpGuard_;
    Questions& questions_;
    PlaylistEditor editor_;
    os::InternetTarget internetTarget_;
    InternetCheck internetCheck_;
};

}  // namespace frm
