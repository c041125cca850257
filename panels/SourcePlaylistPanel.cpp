#include "panels/SourcePlaylistPanel.h"

#include <wx/thread.h>
#include <wx/utils.h>

#include <algorithm>

#include "app/kit/CaptureDeviceDialog.h"
#include "app/kit/GuiFreezer.h"
#include "app/kit/Questions.h"
#include "app/kit/UrlDialog.h"
#include "audio/AlarmChannel.h"
#include "audio/Player.h"
#include "audio/PlayerEngine.h"
#include "foundation/Checks.h"
#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"
#include "panels/SourcePanelParts.h"

namespace frm {
namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeyA = 65;
constexpr int kKeyDelete = 127;

using PlayerUse = base::SingletonSlot<Player>::Use;

const wchar_t* text(bool flag) {
    return flag ? L"true" : L"false";
}

bool mouseOver(const wxWindow* window) {
    return window->IsShownOnScreen() && window->GetScreenRect().Contains(wxGetMousePosition());
}

std::wstring pathOf(const std::optional<Playlist::Item>& item) {
    return item ? item->path : std::wstring();
}

// The key that closes a dialog and is still held down as it returns, or 0.
int heldClosingKey() {
    for (const wxKeyCode key : {WXK_RETURN, WXK_NUMPAD_ENTER, WXK_ESCAPE, WXK_SPACE}) {
        if (wxGetKeyState(key)) return key;
    }
    return 0;
}

PlaylistEditor::PlayerAccess playerAccess() {
    PlaylistEditor::PlayerAccess access;
    access.isPlaying = [] {
        const PlayerUse player(Player::instanceSlot());
        return player && player->isPlaying();
    };
    access.playlist = [] {
        const PlayerUse player(Player::instanceSlot());
        return player ? player->getPlaylist() : nullptr;
    };
    access.reset = [] {
        const PlayerUse player(Player::instanceSlot());
        if (player) player->reset();
    };
    return access;
}

std::wstring urlHistoryPath() {
    return os::joinPath(os::getApplicationDataDirectory(), L"UrlDialog.history");
}

}  // namespace

SourcePlaylistPanel::SourcePlaylistPanel(wxWindow* parent, ISchedulerControl* schedulerControl, bool radio,
                                         Questions& questions)
    : fb::SourcePlaylistPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(700, 500), wxTAB_TRAVERSAL),
      self_(std::make_shared<SourcePlaylistPanel*>(this)),
      radio_(radio),
      schedulerControl_(schedulerControl),
      questions_(questions),
      editor_({questions, schedulerControl, playerAccess(), &PlayerEngine::getFileFilter}) {}

void SourcePlaylistPanel::buildControls() {
    if (hasControls()) return;
    buildLayout();
    setTransportImages({m_buttonPrev, m_buttonPlay, m_buttonStop, m_buttonNext, m_controlPlaylists});
    m_listOfPlaylist->setRows(
        [this](long row, long column) {
            return wxString(rows_.playlistText(static_cast<std::size_t>(row), column));
        },
        [this](long row) {
            return fb::VirtualListCtrl::Look{
                rowColour(rows_.playingPlaylist() == static_cast<std::size_t>(row)), {}};
        });
    m_playlist->setRows(
        [this](long row, long column) {
            return wxString(rows_.itemText(static_cast<std::size_t>(row), column));
        },
        [this](long row) {
            return fb::VirtualListCtrl::Look{rowColour(rows_.playingItem() == static_cast<std::size_t>(row)),
                                             {}};
        });
    for (fb::VirtualListCtrl* list : {m_listOfPlaylist, m_playlist})
        list->setSelectionCallback([this, list] { selectionChanged(list); });
}

SourcePlaylistPanel::~SourcePlaylistPanel() {
    debug::Place("frm::SourcePlaylistPanel::~SourcePlaylistPanel").trace3(L"");
    self_.reset();
    folderAddition_.reset();
    currentPlaylist_.reset();
    listOfPlaylist_.reset();
}

void SourcePlaylistPanel::later(std::function<void(SourcePlaylistPanel&)> task) const {
    GuiThreadInvoker::add([self = std::weak_ptr<SourcePlaylistPanel*>(self_), task = std::move(task)] {
        if (const Self panel = self.lock()) task(**panel);
    });
}

void SourcePlaylistPanel::setListOfPlaylist(const std::shared_ptr<ListOfPlaylist>& listOfPlaylist) {
    listOfPlaylist_ = listOfPlaylist;
    redrawGuiElements(true, true, true, true);
}

void SourcePlaylistPanel::redrawGuiElements(bool listOfPlaylist, bool playlist, bool menuItems,
                                            bool buttons) {
    debug::Place("frm::SourcePlaylistPanel::redrawGuiElements")
        .trace(L"redrawGuiElements: listOfPlaylist=%1%, playlist=%2%, menuItems=%3%, buttons=%4%",
               text(listOfPlaylist), text(playlist), text(menuItems), text(buttons));
    if (listOfPlaylist) showList();
    if (playlist) showPlaylist();
    if (menuItems) updateMenuItems();
    if (buttons) updateButtons();
    updateColors(listOfPlaylist, playlist);
}

void SourcePlaylistPanel::showList() {
    error::legacy_terminateIfNull(listOfPlaylist_, "frm::SourcePlaylistPanel::showList");
    GuiFreezer freezer(m_listOfPlaylist);
    m_listOfPlaylist->DeleteAllItems();
    m_listOfPlaylist->DeleteAllColumns();
    const auto titles = listOfPlaylistColumnTitles(radio_);
    m_listOfPlaylist->InsertColumn(0, titles[0], wxLIST_FORMAT_LEFT);
    m_listOfPlaylist->InsertColumn(1, titles[1], wxLIST_FORMAT_LEFT);
    rows_.showPlaylists(listOfPlaylist_->getAll());
    std::vector<std::wstring> names;
    std::wstring longest;
    for (const auto& playlist : rows_.playlists()) {
        names.push_back(playlist->getName());
        if (names.back().size() > longest.size()) longest = names.back();
    }
    m_listOfPlaylist->SetItemCount(static_cast<long>(rows_.playlistRows()));
    const int width = playlistNameColumnWidth(names);
    m_listOfPlaylist->SetColumnWidth(0, width == -1 ? automaticWidth(*m_listOfPlaylist, longest) : width);
    m_listOfPlaylist->SetColumnWidth(1, 200);
    fitColumnHeaders(*m_listOfPlaylist);
    freezer.thaw();
}

void SourcePlaylistPanel::showPlaylist() {
    error::legacy_terminateIfNull(listOfPlaylist_, "frm::SourcePlaylistPanel::showPlaylist");
    GuiFreezer freezer(m_playlist);
    m_playlist->DeleteAllItems();
    m_playlist->DeleteAllColumns();
    const auto titles = playlistColumnTitles(radio_);
    m_playlist->InsertColumn(0, titles[0], wxLIST_FORMAT_LEFT);
    m_playlist->InsertColumn(1, titles[1], wxLIST_FORMAT_LEFT);
    rows_.showItems(currentPlaylist_);
    m_playlist->SetItemCount(static_cast<long>(rows_.itemRows()));
    if (currentPlaylist_) {
        const auto longest = currentPlaylist_->longestTexts();
        const auto widths = playlistItemColumnWidths(longest);
        m_playlist->SetColumnWidth(0,
                                   widths[0] == -1 ? automaticWidth(*m_playlist, longest.first) : widths[0]);
        m_playlist->SetColumnWidth(1,
                                   widths[1] == -1 ? automaticWidth(*m_playlist, longest.second) : widths[1]);
    }
    fitColumnHeaders(*m_playlist);
    freezer.thaw();
    updateListSize();
}

void SourcePlaylistPanel::updateListSize() {
    error::legacy_terminateIfNull(listOfPlaylist_, "frm::SourcePlaylistPanel::updateListSize");
    // The rows read each playlist's count as they are drawn.
    const long rows = m_listOfPlaylist->GetItemCount();
    if (rows > 0) m_listOfPlaylist->RefreshItems(0, rows - 1);
}

void SourcePlaylistPanel::updateMenuItems() {
    wxMenuItem* const items[] = {
        m_addFiles, m_captureAudioWithDevice, m_addDir,      m_addUrl,        m_editUrl,
        m_rename,   m_clearPlayList,          m_addPlaylist, m_deleteSelected};
    for (wxMenuItem* item : items) {
        if (m_menu->FindChildItem(item->GetId()) != nullptr) m_menu->Remove(item);
    }
    PlaylistMenuState state;
    state.radio = radio_;
    state.mouseOverListOfPlaylist = mouseOver(m_listOfPlaylist);
    state.mouseOverPlaylist = mouseOver(m_playlist);
    state.hasCurrentPlaylist = currentPlaylist_ != nullptr;
    state.hasActiveList = activeList_ != nullptr;
    state.activeListSelected =
        activeList_ ? static_cast<std::size_t>(activeList_->GetSelectedItemCount()) : 0;
    state.playlistSelected = static_cast<std::size_t>(m_playlist->GetSelectedItemCount());
    for (const PlaylistMenuItem item : playlistMenuItems(state))
        m_menu->Append(items[static_cast<int>(item)]);
}

void SourcePlaylistPanel::updateButtons() {
    bool playing = false;
    bool playerPlaylistHasItems = false;
    {
        const PlayerUse player(Player::instanceSlot());
        if (player) {
            playing = player->isPlaying();
            const auto playlist = player->getPlaylist();
            playerPlaylistHasItems = playlist && !playlist->empty();
        }
    }
    const bool shown = transportButtonsShown(playing, playerPlaylistHasItems,
                                             currentPlaylist_ && !currentPlaylist_->empty());
    for (wxBitmapButton* button : {m_buttonPrev, m_buttonPlay, m_buttonStop, m_buttonNext})
        button->Show(shown);
    m_buttonPanel->Layout();
}

void SourcePlaylistPanel::updateColors(bool listOfPlaylist, bool playlist) {
    if (!GuiThreadInvoker::exists()) return;
    if (!wxThread::IsMain()) {
        later([listOfPlaylist, playlist](SourcePlaylistPanel& panel) {
            panel.updateColors(listOfPlaylist, playlist);
        });
        return;
    }
    bool playing = false;
    std::shared_ptr<Playlist> playerPlaylist;
    {
        const PlayerUse player(Player::instanceSlot());
        if (player) {
            playing = player->isPlaying();
            playerPlaylist = player->getPlaylist();
        }
    }
    if (listOfPlaylist) {
        const auto callback = playingCallback();
        for (const auto& each : rows_.playlists()) each->setCallbackIfPlaying(callback);
        const auto row = playingPlaylistRow(rows_.playlists(), playerPlaylist, playing);
        const std::optional<std::size_t> before = rows_.playingPlaylist();
        rows_.setPlayingPlaylist(row);
        redrawPlayingRows(*m_listOfPlaylist, before, row);
    }
    if (!playlist) return;
    const std::optional<std::size_t> before = rows_.playingItem();
    if (!playing || !currentPlaylist_ || playerPlaylist != currentPlaylist_) {
        rows_.setPlayingItem(std::nullopt);
        redrawPlayingRows(*m_playlist, before, std::nullopt);
        return;
    }
    const std::size_t position = currentPlaylist_->getCurrentPosition();
    const std::size_t rows = rows_.itemRows();
    const PlayingItemRow green = playingItemRow(position, rows);
    rows_.setPlayingItem(green.row);
    redrawPlayingRows(*m_playlist, before, green.row);
    if (!green.row) {
        debug::Place("frm::SourcePlaylistPanel::updateColors")
            .warn(L"Internal error. Discrepancy playlist and control (%1% / %2%)", position, rows);
    }
    // Once the last station has played, a radio that moves on without a connection is stopped.
    if (radio_ && leavesLastStation(lastColoredPosition_, rows)) checkInternet(false, currentPlaylist_);
    lastColoredPosition_ = static_cast<long>(position);
}

Playlist::PlayingCallback SourcePlaylistPanel::playingCallback() const {
    // A callback queued by the playlist's executor reaches the panel on the GUI thread, if it still
    // exists.
    return [self = std::weak_ptr<SourcePlaylistPanel*>(self_)](bool, bool) {
        GuiThreadInvoker::add([self] {
            if (const Self panel = self.lock()) (*panel)->updateColors(true, true);
        });
    };
}

wxListCtrl* SourcePlaylistPanel::getList(wxEvent& event) const {
    auto* list = dynamic_cast<wxListCtrl*>(event.GetEventObject());
    error::legacy_terminateIfNull(list, "frm::SourcePlaylistPanel::getList");
    return list;
}

long SourcePlaylistPanel::getPositionUnderMouse(wxMouseEvent& event) const {
    int flags = 0;
    const long row = getList(event)->HitTest(event.GetPosition(), flags);
    return (flags & wxLIST_HITTEST_ONITEMLABEL) != 0 ? row : -1;
}

std::vector<long> SourcePlaylistPanel::getSelectedPositions(wxListCtrl* list) const {
    error::legacy_terminateIfNull(list, "frm::SourcePlaylistPanel::getSelectedPositions");
    std::vector<long> rows;
    for (long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
         row = list->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        rows.push_back(row);
    }
    return rows;
}

BaseControlList& SourcePlaylistPanel::getControl(wxListCtrl* list) const {
    error::legacy_terminateIfNull(list, "frm::SourcePlaylistPanel::getControl");
    error::legacy_terminateIfNull(listOfPlaylist_, "frm::SourcePlaylistPanel::getControl");
    if (list == m_listOfPlaylist) return *listOfPlaylist_;
    debug::throwIfFalse(currentPlaylist_ != nullptr, "frm::SourcePlaylistPanel::getControl");
    return *currentPlaylist_;
}

void SourcePlaylistPanel::hasInternetForRadio() {
    if (!radio_) return;
    std::shared_ptr<Playlist> playlist = currentPlaylist_;
    if (!playlist) {
        const PlayerUse player(Player::instanceSlot());
        if (player) playlist = player->getPlaylist();
    }
    if (!playlist || playlist->empty()) return;
    std::wstring path = pathOf(playlist->getCurrentItem());
    if (!mouseOver(m_listOfPlaylist) && mouseOver(m_playlist))
        path =
            rowUnderMouse_ >= 0 ? pathOf(playlist->getItem(static_cast<std::size_t>(rowUnderMouse_))) : L"";
    if (needsInternet(path)) checkInternet(true, nullptr);
}

void SourcePlaylistPanel::checkInternet(bool notice, const std::shared_ptr<Playlist>& stopPlaylist) {
    internetCheck_.notice = internetCheck_.notice || notice;
    if (stopPlaylist) internetCheck_.stopPlaylist = stopPlaylist;
    if (internetCheck_.pending) return;
    internetCheck_.pending = true;
    base::ThreadDispatcher::add(
        L"Check the Internet", 0,
        [target = internetTarget_, self = std::weak_ptr<SourcePlaylistPanel*>(self_)] {
            const bool connected = os::hasInternet(target);
            GuiThreadInvoker::add([self, connected] {
                if (const Self panel = self.lock()) (*panel)->internetAnswered(connected);
            });
        });
}

void SourcePlaylistPanel::internetAnswered(bool connected) {
    const InternetCheck check = internetCheck_;
    internetCheck_ = InternetCheck();
    if (connected) return;
    if (check.notice) {
        debug::Place("frm::SourcePlaylistPanel::hasInternetForRadio")
            .notice(L"Проверьте настройки соединения с интернетом");
    }
    if (!check.stopPlaylist) return;
    const PlayerUse player(Player::instanceSlot());
    if (player && player->isPlaying() && player->getPlaylist() == check.stopPlaylist) player->stop(true);
}

void SourcePlaylistPanel::popupMenuWithDelay() {
    debug::Place("frm::SourcePlaylistPanel::popupMenuWithDelay").trace(L"show playlist menu");
    PopupMenu(m_menu);
}

void SourcePlaylistPanel::listCtrlLeftDown(wxMouseEvent& event) {
    debug::Place("frm::SourcePlaylistPanel::listCtrlLeftDown").trace(L"");
    event.Skip();
    activeList_ = getList(event);
    rowUnderMouse_ = getPositionUnderMouse(event);
    if (activeList_ == m_listOfPlaylist) {
        error::legacy_terminateIfNull(listOfPlaylist_, "frm::SourcePlaylistPanel::listCtrlLeftDown");
        currentPlaylist_ = rowUnderMouse_ == -1 ? nullptr : listOfPlaylist_->getOne(rowUnderMouse_);
        redrawGuiElements(false, true, true, true);
    } else {
        redrawGuiElements(false, false, true, true);
        clickedItem_ = rowUnderMouse_;
    }
}

void SourcePlaylistPanel::listCtrlOnRightDown(wxMouseEvent& event) {
    debug::Place("frm::SourcePlaylistPanel::listCtrlOnRightDown").trace(L"");
    listCtrlLeftDown(event);
    later([](SourcePlaylistPanel& panel) { panel.popupMenuWithDelay(); });
}

void SourcePlaylistPanel::listCtrlOnListColRightClick(wxListEvent& event) {
    debug::Place("frm::SourcePlaylistPanel::listCtrlOnListColRightClick").trace(L"");
    event.Skip();
    PopupMenu(m_menu);
}

void SourcePlaylistPanel::controlPlaylistsOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::controlPlaylistsOnButtonClick").trace(L"");
    PopupMenu(m_menu);
}

void SourcePlaylistPanel::listCtrlLeaveWindow(wxMouseEvent& event) {
    event.Skip();
    rowUnderMouse_ = -1;
}

void SourcePlaylistPanel::listCtrlOnListItemSelected(wxListEvent& event) {
    debug::Place("frm::SourcePlaylistPanel::listCtrlOnListItemSelected").trace(L"");
    event.Skip();
    activeList_ = getList(event);
    getControl(activeList_).setSelection(getSelectedPositions(activeList_));
    redrawGuiElements(false, false, true, true);
}

void SourcePlaylistPanel::listCtrlOnListItemDeselected(wxListEvent& event) {
    debug::Place("frm::SourcePlaylistPanel::listCtrlOnListItemDeselected").trace(L"");
    event.Skip();
    activeList_ = getList(event);
    getControl(activeList_).setSelection(getSelectedPositions(activeList_));
    if (activeList_ == m_listOfPlaylist) {
        redrawGuiElements(true, false, false, false);
        clickedItem_ = -1;
    } else {
        redrawGuiElements(false, false, true, true);
    }
}

void SourcePlaylistPanel::listCtrlLeftDoubleClick(wxMouseEvent& event) {
    debug::Place("frm::SourcePlaylistPanel::listCtrlLeftDoubleClick").trace(L"");
    event.Skip();
    lastColoredPosition_ = -1;
    if (rowUnderMouse_ == -1) return;
    hasInternetForRadio();
    const PlayerUse player(Player::instanceSlot());
    if (!player) return;
    if (getList(event) == m_playlist) {
        player->setPlaylist(currentPlaylist_);
        player->play(static_cast<int>(rowUnderMouse_));
    } else {
        player->play(currentPlaylist_);
    }
}

void SourcePlaylistPanel::buttonPlay(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::buttonPlay").trace(L"");
    {
        // The devices the alarm channel holds go back to the common channel, unless a
        // priority announcement runs on them: the channel reports that refusal itself.
        const base::SingletonSlot<AlarmChannel>::Use alarm(AlarmChannel::instanceSlot());
        if (alarm && !alarm->restoreCommonChannelForAllDevices()) return;
    }
    hasInternetForRadio();
    const PlayerUse player(Player::instanceSlot());
    if (!player) return;
    if (!currentPlaylist_) {
        player->play();
        return;
    }
    player->play(currentPlaylist_);
    if (activeList_ == m_playlist && clickedItem_ != -1) player->play(static_cast<int>(clickedItem_));
}

void SourcePlaylistPanel::buttonStop(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::buttonStop").trace(L"");
    const PlayerUse player(Player::instanceSlot());
    if (player) player->stop(false);
}

void SourcePlaylistPanel::buttonPrev(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::buttonPrev").trace(L"");
    step(false);
}

void SourcePlaylistPanel::buttonNext(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::buttonNext").trace(L"");
    step(true);
}

void SourcePlaylistPanel::step(bool forward) {
    if (!currentPlaylist_) return;
    const PlayerUse player(Player::instanceSlot());
    if (!player) return;
    // A playing player moves on in whatever it plays, also another panel's playlist.
    if (player->isPlaying()) {
        forward ? player->next() : player->previous();
    } else if (!currentPlaylist_->empty()) {
        forward ? currentPlaylist_->next() : currentPlaylist_->previous();
        player->play(currentPlaylist_);
    }
}

void SourcePlaylistPanel::listCtrlKeyUp(wxKeyEvent& event) {
    event.Skip();
    if (!currentPlaylist_) return;
    if (keyUpGuard_.swallows(event.GetKeyCode())) return;
    wxListCtrl* const list = getList(event);
    if (event.GetKeyCode() == kKeyEnter) {
        if (activeList_ != m_playlist) return;
        const std::vector<long> selection = getControl(list).getSelection();
        if (selection.empty()) return;
        const PlayerUse player(Player::instanceSlot());
        if (!player) return;
        player->setPlaylist(currentPlaylist_);
        player->play(static_cast<int>(selection.front()));
    } else if (event.GetKeyCode() == kKeyDelete) {
        deleteSelected();
    } else if (event.ControlDown() && event.GetKeyCode() == kKeyA) {
        // All at once: the list tells of no row of it.
        list->SetItemState(-1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        activeList_ = list;
        getControl(list).setSelection(getSelectedPositions(list));
        redrawGuiElements(false, false, true, true);
    }
}

void SourcePlaylistPanel::listCtrlMotion(wxMouseEvent& event) {
    event.Skip();
    if (rowUnderMouse_ == -1 || !event.LeftIsDown()) {
        rowUnderMouse_ = -1;
        return;
    }
    const long hit = getPositionUnderMouse(event);
    wxListCtrl* const list = getList(event);
    if (hit == -1 || hit == rowUnderMouse_ || !currentPlaylist_ || list != activeList_) return;
    const long moved = getControl(list).moveItem(rowUnderMouse_, hit);
    debug::Place("frm::SourcePlaylistPanel::listCtrlMotion").trace3(L"list motion");
    moveRow(list, rowUnderMouse_, moved);
    rowUnderMouse_ = moved;
    // A moved playlist takes its green row along.
    updateColors(list == m_listOfPlaylist, true);
}

void SourcePlaylistPanel::moveRow(wxListCtrl* list, long from, long to) {
    // The rows read the lists as they are drawn; the list of playlists' rows hold the playlists
    // in their new order.
    if (list == m_listOfPlaylist) rows_.showPlaylists(listOfPlaylist_->getAll());
    if (from != to && from >= 0 && to >= 0 && std::max(from, to) < list->GetItemCount())
        list->RefreshItems(std::min(from, to), std::max(from, to));
    list->SetItemState(-1, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    list->SetItemState(to, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

void SourcePlaylistPanel::afterCommand(const std::optional<PlaylistRedraw>& redraw) {
    keyUpGuard_.arm(heldClosingKey());
    if (redraw)
        redrawGuiElements(redraw->listOfPlaylist, redraw->playlist, redraw->menuItems, redraw->buttons);
}

void SourcePlaylistPanel::startFolderAddition(const PlaylistEditor::FolderChoice& choice) {
    const std::shared_ptr<const ListOfPlaylist> list = listOfPlaylist_;
    const std::shared_ptr<Playlist> playlist = currentPlaylist_;
    folderAddition_ = std::make_unique<FolderAddition>(
        choice.folder, choice.extensions, folderLister_,
        [this, list, playlist](const std::vector<std::wstring>& files, const PlaylistEditor::Going& going) {
            editor_.addListed(*list, *playlist, files, going);
        },
        [this] { later([](SourcePlaylistPanel& panel) { panel.showFolderProgress(); }); });
    // The lists wait for the addition's end: the operator's changes meanwhile would go past the
    // bound it checked, or act on rows it is about to add.
    for (wxWindow* input : std::initializer_list<wxWindow*>{m_listOfPlaylist, m_playlist, m_controlPlaylists})
        input->Disable();
    showFolderProgress();
}

void SourcePlaylistPanel::showFolderProgress() {
    if (!folderAddition_) return;
    const FolderProgress progress = folderAddition_->progress();
    if (progress.stage == FolderProgress::ended) {
        folderAddition_.reset();
        m_folderProgress->Hide();
        for (wxWindow* input :
             std::initializer_list<wxWindow*>{m_listOfPlaylist, m_playlist, m_controlPlaylists})
            input->Enable();
        Layout();
        if (progress.added > 0) redrawGuiElements(false, true, true, true);
        return;
    }
    m_folderText->SetLabel(folderProgressText(progress));
    if (const auto percent = folderProgressPercent(progress)) {
        m_folderGauge->SetValue(*percent);
    } else {
        m_folderGauge->Pulse();
    }
    if (!m_folderProgress->IsShown()) {
        m_folderProgress->Show();
        Layout();
    }
}

void SourcePlaylistPanel::stopFolderAddition() {
    folderAddition_.reset();
}

void SourcePlaylistPanel::folderCancelOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::folderCancelOnButtonClick").trace(L"");
    if (folderAddition_) folderAddition_->cancel();
}

void SourcePlaylistPanel::selectionChanged(wxListCtrl* list) {
    if (!listOfPlaylist_ || (list == m_playlist && !currentPlaylist_)) return;
    getControl(list).setSelection(getSelectedPositions(list));
}

Playlist& SourcePlaylistPanel::commandPlaylist(const char* place) {
    debug::Place(place).trace(L"");
    error::legacy_terminateIfNull(currentPlaylist_, place);
    return *currentPlaylist_;
}

bool SourcePlaylistPanel::enterUrl(const std::wstring& caption, std::wstring& url, std::wstring& title) {
    // The dialog writes the URL history as it goes.
    UrlDialog dialog(this, caption, url, title, urlHistoryPath());
    return questions_.showModal(dialog) == wxID_OK;
}

Playlist::Item SourcePlaylistPanel::getRightItem() const {
    const char* const place = "frm::SourcePlaylistPanel::getRightItem";
    const auto fault = [place](const wchar_t* text) {
        debug::Place(place).error(text);
        return exception::InternalError(text);
    };
    if (!currentPlaylist_) throw fault(L"don't set current playlist");
    const std::vector<long> selection = currentPlaylist_->getSelection();
    if (selection.empty()) throw fault(L"selected items are zero");
    const std::optional<Playlist::Item> item =
        selection.front() < 0 ? std::nullopt
                              : currentPlaylist_->getItem(static_cast<std::size_t>(selection.front()));
    if (!item) throw fault(L"incorrect selected items");
    return *item;
}

void SourcePlaylistPanel::addFilesOnMenuSelection(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::addFilesOnMenuSelection").trace(L"");
    afterCommand(editor_.addFiles(*listOfPlaylist_, currentPlaylist_));
}

void SourcePlaylistPanel::captureAudioWithDeviceOnMenuSelection(wxCommandEvent&) {
    Playlist& current = commandPlaylist("frm::SourcePlaylistPanel::captureAudioWithDeviceOnMenuSelection");
    CaptureDeviceDialog dialog(this);
    const bool chosen = questions_.showModal(dialog) == wxID_OK;
    afterCommand(
        chosen ? std::optional(editor_.addCaptureDevice(*listOfPlaylist_, current, dialog.getDeviceName()))
               : std::nullopt);
}

void SourcePlaylistPanel::addDirOnMenuSelection(wxCommandEvent&) {
    commandPlaylist("frm::SourcePlaylistPanel::addDirOnMenuSelection");
    if (folderAddition_) return;
    if (const auto choice = editor_.chooseFolder()) startFolderAddition(*choice);
    afterCommand(std::nullopt);
}

void SourcePlaylistPanel::addUrlOnMenuSelection(wxCommandEvent&) {
    Playlist& current = commandPlaylist("frm::SourcePlaylistPanel::addUrlOnMenuSelection");
    std::wstring url;
    std::wstring title;
    afterCommand(enterUrl(L"Добавить URL", url, title)
                     ? std::optional(editor_.addUrl(*listOfPlaylist_, current, title, url))
                     : std::nullopt);
}

void SourcePlaylistPanel::editUrlOnMenuSelection(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::editUrlOnMenuSelection").trace(L"");
    if (currentPlaylist_) currentPlaylist_->setSelection(getSelectedPositions(m_playlist));
    const Playlist::Item item = getRightItem();
    std::wstring url = item.path;
    std::wstring title = item.title;
    afterCommand(enterUrl(L"Редактировать", url, title)
                     ? editor_.editUrl(*listOfPlaylist_, *currentPlaylist_, item.index, title, url)
                     : std::nullopt);
}

void SourcePlaylistPanel::renameOnMenuSelection(wxCommandEvent&) {
    Playlist& current = commandPlaylist("frm::SourcePlaylistPanel::renameOnMenuSelection");
    error::legacy_terminateIfNull(listOfPlaylist_, "frm::SourcePlaylistPanel::renameOnMenuSelection");
    // The item when the operator works in the item list and has chosen one there; a row left
    // selected there does not count while the list of playlists is the active one.
    std::optional<Playlist::Item> item;
    const std::vector<long> chosen = getSelectedPositions(m_playlist);
    if (activeList_ == m_playlist && !chosen.empty()) {
        current.setSelection(chosen);
        item = getRightItem();
    }
    afterCommand(editor_.rename(*listOfPlaylist_, current, item));
}

void SourcePlaylistPanel::clearPlayListOnMenuSelection(wxCommandEvent&) {
    Playlist& current = commandPlaylist("frm::SourcePlaylistPanel::clearPlayListOnMenuSelection");
    afterCommand(editor_.clear(current));
}

void SourcePlaylistPanel::addPlaylistOnMenuSelection(wxCommandEvent&) {
    const char* const place = "frm::SourcePlaylistPanel::addPlaylistOnMenuSelection";
    debug::Place(place).trace(L"");
    error::legacy_terminateIfNull(listOfPlaylist_, place);
    afterCommand(editor_.addPlaylist(*listOfPlaylist_, playingCallback()));
}

void SourcePlaylistPanel::deleteSelectedOnMenuSelection(wxCommandEvent&) {
    debug::Place("frm::SourcePlaylistPanel::deleteSelectedOnMenuSelection").trace(L"");
    deleteSelected();
}

void SourcePlaylistPanel::deleteSelected() {
    const char* const place = "frm::SourcePlaylistPanel::deleteSelected";
    debug::Place(place).trace(L"");
    if (activeList_ == nullptr) return;
    // The rows the operator sees selected, whatever the list's model last heard.
    const std::vector<long> rows = getSelectedPositions(activeList_);
    PlaylistEditor::Deletion deletion = PlaylistEditor::Deletion::nothingSelected;
    if (activeList_ == m_listOfPlaylist) {
        error::legacy_terminateIfNull(listOfPlaylist_, place);
        deletion = editor_.deletePlaylists(*listOfPlaylist_, rows, currentPlaylist_);
    } else if (currentPlaylist_) {
        deletion = editor_.deleteItems(*currentPlaylist_, rows);
        if (deletion == PlaylistEditor::Deletion::deleted) clickedItem_ = -1;
    }
    if (deletion == PlaylistEditor::Deletion::declined) {
        for (long row = 0; row < activeList_->GetItemCount(); ++row)
            activeList_->SetItemState(row, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    }
    afterCommand(deletion == PlaylistEditor::Deletion::deleted
                     ? std::optional(PlaylistRedraw{true, true, true, true})
                     : std::nullopt);
}

}  // namespace frm
