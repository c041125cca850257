#pragma once
// The panel of the files on removable and optical media: a button per medium mounted now;
// choosing one lists every playable file on it (its folders included) as the panel's playlist,
// which the transport buttons play through the one Player. The drive watch stops the player
// when the medium of what it plays is taken out. The chosen medium, its current file and whether
// it played are kept in "device_playback.xml" and resumed at start-up.
//
// Everything runs on the GUI thread but the drive watch and the listing of a medium, which runs
// on a thread of its own and hands its playlist back through the GUI-thread invoker.

#include <wx/arrstr.h>

#include <atomic>
#include <boost/property_tree/ptree.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "audio/Playlist.h"
#include "foundation/ChangeMark.h"
#include "foundation/Storage.h"
#include "layouts/SourceDevicePanel.h"
#include "panels/DriveWatch.h"
#include "panels/Drives.h"
#include "panels/PlaylistRows.h"

namespace frm {

class Questions;

// The mount points of the media of the kind (DriveKind) mounted now, in the mount table's order.
wxArrayString getLogicalDrives(int kind);

class SourceDevicePanel : public fb::SourceDevicePanel {
public:
    // The questions are not owned and outlive the panel.
    SourceDevicePanel(wxWindow* parent, Questions& questions);
    ~SourceDevicePanel() override;
    SourceDevicePanel(const SourceDevicePanel&) = delete;
    SourceDevicePanel& operator=(const SourceDevicePanel&) = delete;

    // Makes the controls and lists the playlist the panel holds; the main window calls it when it
    // first shows the panel. Until then the panel chooses, plays and saves without them.
    void buildControls();
    bool hasControls() const { return m_listCtrl != nullptr; }

    // Ends the drive watch and stops a listing that still runs, whose list is then never shown;
    // the main window's shutdown.
    void stopThread();
    // Rebuilds the drive buttons; a playlist whose medium has gone is emptied.
    void updateDriveList();
    // Lists the medium and makes its playlist the panel's; `then` runs once it is shown.
    void fillFromDrive(const wxString& drive, std::function<void()> then = nullptr);
    void updateButtons();
    // Callable from any thread: elsewhere than on the GUI thread it queues itself there.
    void updateColors();

    // What the panel holds; until the list of the medium it was given by `load` has come, what it
    // was given.
    boost::property_tree::wptree save() const;
    // Shows the saved medium again and, when it played, plays its saved file.
    void load(const boost::property_tree::wptree& tree);
    // The same from the file; a file that cannot be read restores nothing, and one without its
    // "device" element is kept aside as a damaged one.
    storage::StateFileRead load(const std::wstring& path);
    // Marked when what `save` gives changes: the medium, its position, whether it plays.
    const base::ChangeMark& changes() const { return changes_; }

protected:
    void listCtrlLeftDoubleClick(wxMouseEvent& event) override;
    void buttonPrev(wxCommandEvent& event) override;
    void buttonPlay(wxCommandEvent& event) override;
    void buttonStop(wxCommandEvent& event) override;
    void buttonNext(wxCommandEvent& event) override;

private:
    using Self = std::shared_ptr<SourceDevicePanel*>;

    void onButtonClickForDevice(wxCommandEvent& event);
    void addDriveButton(const wxString& label, const wxString& drive, int kind);
    // Makes the playlist the panel's and lists it.
    void show(const std::shared_ptr<Playlist>& playlist);
    void showList();
    void step(bool forward);
    // Stops the listing under way, if any, and waits for its thread.
    void cancelListing();

    Self self_;
    Questions& questions_;
    std::shared_ptr<Playlist> playlist_;
    // The list draws only the rows on screen, read from the playlist as it draws them.
    PlaylistRows rows_;
    DriveWatch watch_;
    std::thread listing_;
    // Set to stop the listing under way: a newer listing, or the panel's stop, does not wait for
    // the rest of a large or slow medium.
    std::shared_ptr<std::atomic<bool>> listingCancelled_;
    // The listing whose playlist the panel takes; earlier ones are dropped.
    unsigned listingNumber_ = 0;
    // What `load` was given, until a list is shown: a stop that comes first must not save the
    // panel's empty state over it.
    std::optional<DevicePlayback> restoring_;
    base::ChangeMark changes_;
};

}  // namespace frm
