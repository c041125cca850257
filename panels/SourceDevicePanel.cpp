#include "panels/SourceDevicePanel.h"

#include <wx/stattext.h>
#include <wx/thread.h>

#include "app/kit/GuiFreezer.h"
#include "app/kit/Questions.h"
#include "audio/AlarmChannel.h"
#include "audio/Player.h"
#include "audio/PlayerEngine.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"
#include "panels/Drives.h"
#include "panels/SourcePanelParts.h"
#include "resources/ResourceLoader.h"

namespace frm {
namespace {

// Rows of the window's image table.
constexpr int kDriveOptical = 24;
constexpr int kDriveRemovable = 25;
constexpr int kEmptyColumnWidth = 200;

using PlayerUse = base::SingletonSlot<Player>::Use;

}  // namespace

wxArrayString getLogicalDrives(int kind) {
    wxArrayString drives;
    for (const Drive& drive : presentMedia())
        if (drive.kind == kind) drives.Add(drive.mountPoint);
    return drives;
}

SourceDevicePanel::SourceDevicePanel(wxWindow* parent, Questions& questions)
    : fb::SourceDevicePanel(parent, wxID_ANY, wxDefaultPosition, wxSize(700, 500), wxTAB_TRAVERSAL),
      self_(std::make_shared<SourceDevicePanel*>(this)),
      questions_(questions) {}

void SourceDevicePanel::buildControls() {
    if (hasControls()) return;
    buildLayout();
    m_listCtrl->InsertColumn(0, wxT("Название"), wxLIST_FORMAT_LEFT);
    m_listCtrl->InsertColumn(1, wxT("Путь"), wxLIST_FORMAT_LEFT);
    m_listCtrl->setRows(
        [this](long row, long column) {
            return wxString(rows_.itemText(static_cast<std::size_t>(row), column));
        },
        [this](long row) {
            return fb::VirtualListCtrl::Look{rowColour(rows_.playingItem() == static_cast<std::size_t>(row)),
                                             {}};
        });
    fitColumnHeaders(*m_listCtrl);
    setTransportImages({m_buttonPrev, m_buttonPlay, m_buttonStop, m_buttonNext});
    updateButtons();
    if (playlist_) showList();
}

SourceDevicePanel::~SourceDevicePanel() {
    debug::Place("frm::SourceDevicePanel::~SourceDevicePanel").trace3(L"");
    stopThread();
    self_.reset();
    playlist_.reset();
}

void SourceDevicePanel::stopThread() {
    debug::Place("frm::SourceDevicePanel::stopThread").trace(L"");
    watch_.stop();
    cancelListing();
}

void SourceDevicePanel::cancelListing() {
    if (listingCancelled_) listingCancelled_->store(true);
    if (listing_.joinable()) listing_.join();
}

void SourceDevicePanel::updateDriveList() {
    m_drivesSizer->Clear(true);
    const std::vector<Drive> media = presentMedia();
    for (const int kind : {removableDrive, opticalDrive}) {
        for (const Drive& drive : media)
            if (drive.kind == kind) addDriveButton(drive.label, drive.mountPoint, kind);
    }
    updateButtons();
    if (!playlist_) return;
    const std::wstring name = playlist_->getName();
    const bool present =
        std::any_of(media.begin(), media.end(), [&](const Drive& drive) { return drive.mountPoint == name; });
    if (present) return;
    m_listCtrl->DeleteAllItems();
    playlist_ = std::make_shared<Playlist>(name, true);
    rows_.showItems(playlist_);
    changes_.mark();
    updateButtons();
}

void SourceDevicePanel::addDriveButton(const wxString& label, const wxString& drive, int kind) {
    auto* button = new wxBitmapButton(this, wxID_ANY,
                                      loadResource(kind == opticalDrive ? kDriveOptical : kDriveRemovable),
                                      wxDefaultPosition, wxDefaultSize, wxBU_AUTODRAW);
    button->SetToolTip(drive);
    button->Bind(wxEVT_BUTTON, &SourceDevicePanel::onButtonClickForDevice, this);
    m_drivesSizer->Add(button, 0, wxLEFT | wxRIGHT, 5);
    auto* text =
        new wxStaticText(this, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
    m_drivesSizer->Add(text, 0, wxALIGN_CENTER_HORIZONTAL | wxLEFT | wxRIGHT | wxBOTTOM, 5);
    Layout();
}

void SourceDevicePanel::onButtonClickForDevice(wxCommandEvent& event) {
    debug::Place place("frm::SourceDevicePanel::onButtonClickForDevice");
    place.trace(L"");
    auto* button = dynamic_cast<wxBitmapButton*>(event.GetEventObject());
    if (button == nullptr) {
        place.warn(L"Internal error. Don't action for a window");
        updateButtons();
        return;
    }
    if (m_listCtrl->GetItemCount() > 0 &&
        !questions_.askYesNo(L"Сообщение",
                             L"Составить список воспроизведения заново?\n(предыдущий будет удалён)"))
        return;
    fillFromDrive(button->GetToolTipText());
    updateButtons();
}

void SourceDevicePanel::fillFromDrive(const wxString& drive, std::function<void()> then) {
    cancelListing();
    const unsigned number = ++listingNumber_;
    listingCancelled_ = std::make_shared<std::atomic<bool>>(false);
    listing_ = std::thread([root = drive.ToStdWstring(), filter = PlayerEngine::getFileFilter(true), number,
                            cancelled = listingCancelled_, self = std::weak_ptr<SourceDevicePanel*>(self_),
                            then = std::move(then)] {
        const std::shared_ptr<Playlist> playlist =
            drivePlaylist(root, filter, [&cancelled](std::size_t) { return !cancelled->load(); });
        // A stopped listing is incomplete: it is never shown.
        if (cancelled->load()) return;
        GuiThreadInvoker::add([self, number, playlist, then] {
            const Self panel = self.lock();
            if (!panel || number != (*panel)->listingNumber_) return;
            (*panel)->show(playlist);
            if (then) then();
        });
    });
}

void SourceDevicePanel::show(const std::shared_ptr<Playlist>& playlist) {
    restoring_.reset();
    playlist_ = playlist;
    // Its position, and whether it plays, are what the file keeps.
    playlist->markChangesIn(changes_);
    changes_.mark();
    playlist->setCallbackIfPlaying(
        [self = std::weak_ptr<SourceDevicePanel*>(self_), changes = changes_](bool, bool) {
            changes.mark();
            GuiThreadInvoker::add([self] {
                if (const Self panel = self.lock()) (*panel)->updateColors();
            });
        });
    showList();
}

void SourceDevicePanel::showList() {
    if (!hasControls()) return;
    GuiFreezer freezer(m_listCtrl);
    m_listCtrl->DeleteAllItems();
    rows_.showItems(playlist_);
    m_listCtrl->SetItemCount(static_cast<long>(rows_.itemRows()));
    const auto longest = playlist_->longestTexts();
    for (const int column : {0, 1}) {
        m_listCtrl->SetColumnWidth(
            column, rows_.itemRows() == 0
                        ? kEmptyColumnWidth
                        : automaticWidth(*m_listCtrl, column == 0 ? longest.first : longest.second));
    }
    fitColumnHeaders(*m_listCtrl);
    freezer.thaw();
    updateButtons();
    updateColors();
}

void SourceDevicePanel::updateButtons() {
    if (!hasControls()) return;
    const bool enabled = playlist_ && !playlist_->empty();
    for (wxBitmapButton* button : {m_buttonPrev, m_buttonPlay, m_buttonStop, m_buttonNext})
        button->Enable(enabled);
    Layout();
}

void SourceDevicePanel::updateColors() {
    if (!wxThread::IsMain()) {
        GuiThreadInvoker::add([self = std::weak_ptr<SourceDevicePanel*>(self_)] {
            if (const Self panel = self.lock()) (*panel)->updateColors();
        });
        return;
    }
    if (!hasControls()) return;
    const std::size_t rows = rows_.itemRows();
    std::optional<std::size_t> playing;
    {
        const PlayerUse player(Player::instanceSlot());
        if (player && playlist_ && player->isPlaying() && player->getPlaylist() == playlist_) {
            const std::size_t position = playlist_->getCurrentPosition();
            if (position < rows) {
                playing = position;
            } else {
                debug::Place("frm::SourceDevicePanel::updateColors")
                    .warn(L"Internal error. Discrepancy playlist (%1% / %2%)", position, rows);
            }
        }
    }
    const std::optional<std::size_t> before = rows_.playingItem();
    rows_.setPlayingItem(playing);
    redrawPlayingRows(*m_listCtrl, before, playing);
}

void SourceDevicePanel::step(bool forward) {
    if (!playlist_) return;
    const PlayerUse player(Player::instanceSlot());
    if (!player) return;
    if (player->isPlaying()) {
        forward ? player->next() : player->previous();
    } else {
        player->play(playlist_);
    }
}

void SourceDevicePanel::buttonPrev(wxCommandEvent&) {
    debug::Place("frm::SourceDevicePanel::buttonPrev").trace(L"");
    step(false);
}

void SourceDevicePanel::buttonNext(wxCommandEvent&) {
    debug::Place("frm::SourceDevicePanel::buttonNext").trace(L"");
    step(true);
}

void SourceDevicePanel::buttonPlay(wxCommandEvent&) {
    debug::Place("frm::SourceDevicePanel::buttonPlay").trace(L"");
    {
        // Refused, and reported by the channel, while a priority announcement holds the devices.
        const base::SingletonSlot<AlarmChannel>::Use alarm(AlarmChannel::instanceSlot());
        if (alarm && !alarm->restoreCommonChannelForAllDevices()) return;
    }
    const PlayerUse player(Player::instanceSlot());
    if (player && playlist_) player->play(playlist_);
}

void SourceDevicePanel::buttonStop(wxCommandEvent&) {
    debug::Place("frm::SourceDevicePanel::buttonStop").trace(L"");
    const PlayerUse player(Player::instanceSlot());
    if (player) player->stop(true);
}

void SourceDevicePanel::listCtrlLeftDoubleClick(wxMouseEvent& event) {
    debug::Place("frm::SourceDevicePanel::listCtrlLeftDoubleClick").trace(L"");
    event.Skip();
    int flags = 0;
    const long row = m_listCtrl->HitTest(event.GetPosition(), flags);
    if (row < 0 || (flags & wxLIST_HITTEST_ONITEMLABEL) == 0 || !playlist_) return;
    const PlayerUse player(Player::instanceSlot());
    if (!player) return;
    player->setPlaylist(playlist_);
    player->play(static_cast<int>(row));
}

boost::property_tree::wptree SourceDevicePanel::save() const {
    if (!playlist_ && restoring_) return devicePlaybackTree(*restoring_);
    DevicePlayback state;
    if (playlist_) {
        state.disk = playlist_->getName();
        if (playlist_->isPlayable()) {
            const auto item = playlist_->getCurrentItem();
            if (item) state.current = item->path;
        }
        const PlayerUse player(Player::instanceSlot());
        state.playback = player && player->isPlaying() && player->getPlaylist() == playlist_;
    }
    return devicePlaybackTree(state);
}

storage::StateFileRead SourceDevicePanel::load(const std::wstring& path) {
    boost::property_tree::wptree tree;
    storage::StateFileRead read = storage::readStateFile(path, tree, kDevicePlaybackFileSize);
    if (read == storage::StateFileRead::loaded && !tree.get_child_optional(kDevicePlaybackRoot))
        read = storage::keepAsideDamaged(path, L"нет элемента 'device'");
    if (read == storage::StateFileRead::loaded) {
        load(tree);
    } else {
        debug::Place("frm::SourceDevicePanel::load").external(L"List of Playlist not loaded");
    }
    return read;
}

void SourceDevicePanel::load(const boost::property_tree::wptree& tree) {
    const DevicePlayback state = devicePlaybackFrom(tree);
    if (state.disk.empty()) return;
    restoring_ = state;
    fillFromDrive(state.disk, [this, state] {
        if (!state.playback || playlist_->empty()) return;
        const std::vector<Playlist::Item> items = playlist_->getItems();
        for (std::size_t position = 0; position < items.size(); ++position) {
            if (items[position].path == state.current) {
                playlist_->current(position);
                break;
            }
        }
        const PlayerUse player(Player::instanceSlot());
        if (player) player->play(playlist_);
    });
}

}  // namespace frm
