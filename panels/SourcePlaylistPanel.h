#pragma once
// The panel from which the operator plays music playlists (the music panel) or internet-radio
// station lists (the radio panel) into the common stream: the list of playlists of one
// ListOfPlaylist on the left, the items of the playlist chosen there on the right, and the
// transport buttons that drive the one Player directly. What the player plays, and its
// playlist, are drawn in green. Its menu, the Delete key and dragging a row edit the lists
// (PlaylistEditor decides what the commands do). Both lists draw only the rows on screen
// (PlaylistRows), so a list at its file's bound holds the window no longer than a short one.
//
// Everything runs on the GUI thread, except a folder being added: its files are listed and added
// off it (FolderAddition), with the progress shown under the lists, while the rest of the window
// answers as ever; the panel's lists wait for its end. The playlists' playing callbacks, the
// internet checks and the folder's progress come back to it through the GUI-thread invoker and
// reach the panel only while it exists.

#include <memory>
#include <optional>
#include <vector>

#include "audio/ListOfPlaylist.h"
#include "foundation/NetworkProbes.h"
#include "layouts/SourcePlaylistPanel.h"
#include "panels/FolderAddition.h"
#include "panels/PlaylistEditor.h"
#include "panels/PlaylistPanelRules.h"
#include "panels/PlaylistRows.h"

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
    // How the folders added are listed (FolderScan::listTree).
    void setFolderLister(FolderScan::Lister lister) { folderLister_ = std::move(lister); }
    // Whether a folder is being added.
    bool addingFolder() const { return folderAddition_ != nullptr; }
    // Cancels the folder being added and waits for it; what it added stays. The main window's
    // shutdown calls it before the lists are written.
    void stopFolderAddition();

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
    void folderCancelOnButtonClick(wxCommandEvent& event) override;

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
    // Starts adding the files of the folder tree to the current playlist.
    void startFolderAddition(const PlaylistEditor::FolderChoice& choice);
    // Shows how far the folder being added has come; at its end the lists take input again and
    // show what it added.
    void showFolderProgress();
    // The list's selection, however the operator made it, in the list's model.
    void selectionChanged(wxListCtrl* list);
    // Logs the entry of the command at the place and gives the current playlist it works on; a
    // missing one is an internal fault.
    Playlist& commandPlaylist(const char* place);
    // Shows the URL dialog with the caption; true once the operator saved its values, which are
    // then in url and title.
    bool enterUrl(const std::wstring& caption, std::wstring& url, std::wstring& title);
    // Shows a row move in the list control: the moved row goes to `to`, the rows between shift by
    // one towards `from`, and only the moved row is selected.
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
    PlaylistRows rows_;
    FolderScan::Lister folderLister_ = FolderScan::listTree;
    // After the editor, whose addition it runs.
    std::unique_ptr<FolderAddition> folderAddition_;
};

}  // namespace frm
