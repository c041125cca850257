#pragma once
// The main window: the device list fed by the registry's state notifications, the zones, the
// view buttons, the idle lock and the administrator mode. It owns the device registry and the
// GUI-thread invoker; its Startup and Shutdown run the window's share of the program's start
// and end.
//
// The views other than the device list are made when their button first shows them, so that the
// window comes up without building what it does not show: the source panels exist from the
// start with their data, files and threads and make their controls then (buildControls); the
// property page, which holds nothing until a device is opened, is made then.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/StateSaver.h"
#include "app/TickThread.h"
#include "app/kit/DeviceListModel.h"
#include "app/kit/ListCtrlProvider.h"
#include "app/kit/Questions.h"
#include "app/kit/ZoneElement.h"
#include "foundation/SettingKeys.h"
#include "foundation/Storage.h"
#include "layouts/MainFrame.h"

class ListOfPlaylist;
class wxEventFilter;

namespace device {
class DeviceBase;
class DeviceCollection;
class TransferProtocol;
}  // namespace device

namespace frm {

class DeviceListCtrl;
class SourceDevicePanel;
class SourceMicrophonePanel;
class SourcePlaylistPanel;
class PropertyDevicePanel;
class SourceSchedulerPanel;
class SourceServicePanel;
class ZoneElementPanel;

class MainFrame : public fb::MainFrame, public ListCtrlProvider {
public:
    // Creates the GUI-thread invoker and the device registry on the transport.
    MainFrame(std::shared_ptr<device::TransferProtocol> transport, std::uint16_t basePort,
              const std::string& interfaceIp, Questions& questions, bool debug);
    ~MainFrame() override;

    // Starts the GUI clock, restores the geometry, loads the state files, starts the idle lock
    // and last the transport's threads; logs the notice of a first start, whose box, as every box
    // held for the window, opens once the window is shown.
    void Startup();
    // Whether Startup read the state file (of the data folder's names, "device_collection.xml").
    bool stateFileLoaded(const std::wstring& name) const;
    // Stops the state saver, the GUI clock and the idle lock, writes the settings, stops the
    // registry, the transport, the dispatcher and the invoker, saves the geometry and the state
    // files. Runs once; the window is destroyed afterwards. A window whose start-up never loaded
    // the state files (the start ended before it) leaves the files and the geometry as they are.
    void Shutdown();
    // Told at the shutdown whether the settings and every state file it saves were written, and
    // the state saver's last write of each file succeeded.
    void setStateWrittenHandler(std::function<void(bool written)> handler) {
        stateWritten_ = std::move(handler);
    }

    // The registry's state handler: callable from any thread; the row is refreshed on the GUI
    // thread.
    void updateGui(const std::shared_ptr<device::DeviceBase>& device);
    void showAlarmState(const wxString& text);
    void displayMainView();
    std::vector<ZoneElement::DevicePtr> getTargetDevices() override;

    // Asks the alarm-playback password; true when the right one was typed.
    bool askAlarmPassword();
    bool isAdministrator() const { return administrator_; }
    bool isLocked() const { return locked_.load(); }
    void lockInterface();

    // Whether the schedule uses a device, which then stays in its zones; until the scheduler
    // panel gives its query, the schedule uses none.
    void setDeviceUsedCheck(ZoneElement::UsedCheck check);

    device::DeviceCollection& getDeviceCollection() { return *registry_; }
    const std::shared_ptr<device::DeviceCollection>& getRegistry() const { return registry_; }
    const ZoneElement::ZonePtr& getRootZone() const { return rootZone_; }

protected:
    void OnClose(wxCloseEvent& event) override;
    void devicesOnButtonClick(wxCommandEvent& event) override;
    void settingsOnButtonClick(wxCommandEvent& event) override;
    void playlistOnButtonClick(wxCommandEvent& event) override;
    void radioOnButtonClick(wxCommandEvent& event) override;
    void schedulerOnButtonClick(wxCommandEvent& event) override;
    void microphoneOnButtonClick(wxCommandEvent& event) override;
    void drivesOnButtonClick(wxCommandEvent& event) override;
    void serviceOnButtonClick(wxCommandEvent& event) override;
    void alarmOnButtonClick(wxCommandEvent& event) override;
    void administratorOnToggleButton(wxCommandEvent& event) override;
    void unlockOnButtonClick(wxCommandEvent& event) override;

private:
    class ActivityFilter;

    void onGuiTask(wxCommandEvent& event);
    void refreshDevice(const std::shared_ptr<device::DeviceBase>& device);
    // The registry no longer holds the device: its row goes.
    void dropRow(device::DeviceBase& device);
    // Opens the property page of the one chosen device.
    void openProperties();
    // The property page, made when a device's properties are first opened.
    PropertyDevicePanel& properties();
    bool propertiesShown() const;
    void deviceSelectionChanged();
    void zoneSelectionChanged();
    std::vector<ZoneElement::DevicePtr> chosenDevices() const;
    void enableViewButtons();
    void showView(wxWindow* page);
    // What the scheduler offers to play, handed to its panel.
    void buildPlaybackSources();
    void onClock();
    void checkIdle();
    void restoreGeometry();
    void saveGeometry();
    void loadStateFiles();
    // Each kind of kept state (the state files, in the order they are loaded): the mark of its
    // changes, and how its files are taken on the GUI thread.
    std::vector<std::pair<base::ChangeMark, StateSaver::Take>> keptKinds();
    // The settings as such a kind, unless there is no settings file.
    std::optional<std::pair<base::ChangeMark, StateSaver::Take>> settingsKind();
    // Once the window is up: from then on the state saver keeps the files written.
    void startSaving();
    bool askPassword(const std::wstring& caption, const std::wstring& text, const setting::Text& password);
    // Switches the administrator mode, with its button and the views that it unlocks.
    void setAdministrator(bool administrator);

    const std::shared_ptr<device::TransferProtocol> transport_;
    std::shared_ptr<device::DeviceCollection> registry_;
    Questions& questions_;
    const bool debug_;
    std::atomic<std::uint32_t> deviceCounter_{0};

    DeviceListModel deviceModel_;
    DeviceListCtrl* deviceList_ = nullptr;
    ZoneElementPanel* zonePanel_ = nullptr;
    // While the settings dialog is open; the lock ends it.
    wxDialog* settingsDialog_ = nullptr;
    PropertyDevicePanel* propertyPanel_ = nullptr;
    int propertyPage_ = wxNOT_FOUND;
    const ZoneElement::ZonePtr rootZone_;
    // The operator's choice, read by other threads under the GUI lock.
    std::vector<ZoneElement::DevicePtr> selectedDevices_;
    std::vector<ZoneElement::ZonePtr> selectedZones_;
    // The music and the radio list of playlists, and the panels that play them.
    const std::shared_ptr<ListOfPlaylist> musicList_;
    const std::shared_ptr<ListOfPlaylist> radioList_;
    SourcePlaylistPanel* musicPanel_ = nullptr;
    SourcePlaylistPanel* radioPanel_ = nullptr;
    SourceSchedulerPanel* schedulerPanel_ = nullptr;
    SourceMicrophonePanel* microphonePanel_ = nullptr;
    SourceDevicePanel* drivesPanel_ = nullptr;
    SourceServicePanel* servicePanel_ = nullptr;
    SourceServicePanel* alarmPanel_ = nullptr;

    // The state files that could be neither read nor kept aside: they are not saved over.
    std::map<std::wstring, storage::StateFileRead> stateFiles_;

    TickThread guiClock_;
    TickThread idleLock_;
    std::atomic<bool> clockQueued_{false};
    std::atomic<bool> lockQueued_{false};
    wxString clockText_;
    std::unique_ptr<ActivityFilter> activity_;
    std::atomic<std::int64_t> lastActivity_;
    std::atomic<bool> locked_{false};
    int pageBeforeLock_ = pageDevices;
    bool administrator_ = false;
    bool shuttingDown_ = false;
    // Set once the start-up has restored the geometry and read the state files: only then do
    // the window's own values replace those stored.
    bool stateLoaded_ = false;
    std::function<void(bool written)> stateWritten_;
    bool saving_ = false;
    // Last: it stops, and asks nothing more of the window, before the rest goes.
    StateSaver stateSaver_;
};

}  // namespace frm
