#include "panels/SourcePlaylistPanel.h"

#include <wx/progdlg.h>
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
#include "panels/FolderScan.h"
#include "panels/SourcePanelParts.h"

namespace frm {
namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeyA = 65;
constexpr int kKeyDelete = 127;

// A folder listed within this time is added without a progress dialog.
constexpr auto kQuickListing = std::chrono::milliseconds(300);
constexpr auto kProgressStep = std::chrono::milliseconds(100);

using PlayerUse = base::SingletonSlot<Player>::Use;

const wchar_t* text(bool flag) {
    return flag ? L"true" : L"false";
}

wxString countText(std::size_t count) {
    return wxString::Format("%zu", count);
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
      editor_({questions, schedulerControl, playerAccess(), &PlayerEngine::getFileFilter,
               [this](const std::wstring& folder, const std::wstring& extensions) {
                   return listFolder(folder, extensions);
               }}) {}

void SourcePlaylistPanel::buildControls() {
    if (hasControls()) return;
    buildLayout();
    setTransportImages({m_buttonPrev, m_buttonPlay, m_buttonStop, m_buttonNext, m_controlPlaylists});
}

SourcePlaylistPanel::~SourcePlaylistPanel() {
    debug::Place("frm::SourcePlaylistPanel::~SourcePlaylistPanel").trace3(L"");
    self_.reset();
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
    std::vector<std::wstring> names;
    for (const auto& playlist : listOfPlaylist_->getAll()) {
        names.push_back(playlist->getName());
        const long row = m_listOfPlaylist->InsertItem(m_listOfPlaylist->GetItemCount(), names.back());
        m_listOfPlaylist->SetItem(row, 1, countText(playlist->getItems().size()));
    }
    m_listOfPlaylist->SetColumnWidth(0, playlistNameColumnWidth(names));
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
    if (currentPlaylist_) {
        const std::vector<Playlist::Item> items = currentPlaylist_->getItems();
        for (const Playlist::Item& item : items) {
            const long row = m_playlist->InsertItem(m_playlist->GetItemCount(), item.title);
            m_playlist->SetItem(row, 1, item.path);
        }
        const auto widths = playlistItemColumnWidths(items);
        m_playlist->SetColumnWidth(0, widths[0]);
        m_playlist->SetColumnWidth(1, widths[1]);
    }
    fitColumnHeaders(*m_playlist);
    freezer.thaw();
    updateListSize();
}

void SourcePlaylistPanel::updateListSize() {
    error::legacy_terminateIfNull(listOfPlaylist_, "frm::SourcePlaylistPanel::updateListSize");
    const auto playlists = listOfPlaylist_->getAll();
    const long rows = m_listOfPlaylist->GetItemCount();
    for (long row = 0; row < rows && static_cast<std::size_t>(row) < playlists.size(); ++row) {
        m_listOfPlaylist->SetItem(row, 1,
                                  countText(playlists[static_cast<std::size_t>(row)]->getItems().size()));
    }
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
    if (listOfPlaylist) {
        for (long row = 0; row < m_listOfPlaylist->GetItemCount(); ++row)
            colourRow(*m_listOfPlaylist, row, false);
    }
    if (playlist) {
        for (long row = 0; row < m_playlist->GetItemCount(); ++row) colourRow(*m_playlist, row, false);
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
    if (listOfPlaylist && listOfPlaylist_) {
        const auto playlists = listOfPlaylist_->getAll();
        const auto callback = playingCallback();
        for (const auto& each : playlists) each->setCallbackIfPlaying(callback);
        const auto row = playingPlaylistRow(playlists, playerPlaylist, playing);
        if (row && static_cast<long>(*row) < m_listOfPlaylist->GetItemCount())
            colourRow(*m_listOfPlaylist, static_cast<long>(*row), true);
    }

    if (!playlist || !playing || !currentPlaylist_ || playerPlaylist != currentPlaylist_) return;
    const std::size_t position = currentPlaylist_->getCurrentPosition();
    const std::size_t rows = static_cast<std::size_t>(m_playlist->GetItemCount());
    const PlayingItemRow green = playingItemRow(position, rows);
    if (green.row) {
        colourRow(*m_playlist, static_cast<long>(*green.row), true);
    } else {
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
    if (!mouseOver(m_listOfPlaylist) && mouseOver(m_playlist)) {
        const auto items = playlist->getItems();
        path = rowUnderMouse_ >= 0 && static_cast<std::size_t>(rowUnderMouse_) < items.size()
                   ? items[static_cast<std::size_t>(rowUnderMouse_)].path
                   : std::wstring();
    }
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
        for (long row = 0; row < list->GetItemCount(); ++row)
            list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
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
    GuiFreezer freezer(list);
    if (from != to && from >= 0 && to >= 0 && std::max(from, to) < list->GetItemCount()) {
        const long first = std::min(from, to);
        const long last = std::max(from, to);
        for (int column = 0; column < list->GetColumnCount(); ++column) {
            std::vector<wxString> texts;
            for (long row = first; row <= last; ++row) texts.push_back(list->GetItemText(row, column));
            if (from < to) {
                std::rotate(texts.begin(), texts.begin() + 1, texts.end());
            } else {
                std::rotate(texts.rbegin(), texts.rbegin() + 1, texts.rend());
            }
            for (long row = first; row <= last; ++row)
                list->SetItem(row, column, texts[static_cast<std::size_t>(row - first)]);
        }
    }
    for (long row = 0; row < list->GetItemCount(); ++row)
        list->SetItemState(row, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    list->SetItemState(to, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    freezer.thaw();
}

void SourcePlaylistPanel::afterCommand(const std::optional<PlaylistRedraw>& redraw) {
    keyUpGuard_.arm(heldClosingKey());
    if (redraw)
        redrawGuiElements(redraw->listOfPlaylist, redraw->playlist, redraw->menuItems, redraw->buttons);
}

std::optional<std::vector<std::wstring>> SourcePlaylistPanel::listFolder(const std::wstring& folder,
                                                                         const std::wstring& extensions) {
    FolderScan scan(folder, extensions);
    if (scan.waitFor(kQuickListing)) return scan.files();
    const auto message = [&scan] {
        return wxString::Format(wxT("Просмотрено каталогов: %zu"), scan.foldersEntered());
    };
    wxProgressDialog progress(wxT("Добавить каталог"), message(), 100, this,
                              wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME);
    while (!scan.waitFor(kProgressStep)) {
        // The scan's end cancels a walk that still runs.
        if (!progress.Pulse(message())) return std::nullopt;
    }
    return scan.files();
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
    const std::vector<Playlist::Item> items = currentPlaylist_->getItems();
    if (selection.front() < 0 || static_cast<std::size_t>(selection.front()) >= items.size())
        throw fault(L"incorrect selected items");
    return items[static_cast<std::size_t>(selection.front())];
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
    Playlist& current = commandPlaylist("frm::SourcePlaylistPanel::addDirOnMenuSelection");
    afterCommand(editor_.addFolder(*listOfPlaylist_, current));
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
