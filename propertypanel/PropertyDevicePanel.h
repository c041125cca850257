#pragma once
// The page of one loudspeaker or microphone console: the notebook pages its kind and
// capabilities call for, filled from the device when shown and refreshed as its state changes.
// The main window binds it to a device (imbueDevice, then updateData) and releases it
// (killFocus) before it switches its own view; the panel's close callback switches back.
//
// The panel is the frame: the tabs, the online guard, apply and cancel, closing and shutdown.
// Each notebook page is an object of its own (propertypanel/pages) with its state, its decisions
// and its share of the handlers, which the panel's handler slots forward to. Everything here runs
// on the GUI thread, and nothing here waits for a device: the pages read and write on the
// dispatcher through m_work, which holds the device weakly, checks that the panel still shows
// that device and page before it touches the device and again before it touches a control, and
// removes what is still queued when the page is left. A page acts on the operator's controls that
// change the device, and on apply and cancel, only while it shows what it read from the device
// (m_states); each control's handler is the handler of the page the control sits on.

#include <wx/clntdata.h>

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "devicelink/Version.h"
#include "foundation/NetworkAddress.h"
#include "layouts/PropertyDevicePanel.h"
#include "propertypanel/PageStates.h"
#include "propertypanel/PageWork.h"

namespace device {
class DeviceBase;
class DeviceCollection;
class TransferProtocol;
}  // namespace device

namespace frm {

class Questions;
class PropertyPage;
class CommonPage;
class EqualizerArea;
class DeviceActionArea;
class CommandExchange;
class AudioMemoryPage;
class NetworkPage;
class NeridaPage;
class SourcePage;
class LinePage;
class PasskeyPage;
class ZoneTargetsPage;
class LinkedConsolesPage;
class DebugPage;

class PropertyDevicePanel : public fb::PropertyDevicePanel {
public:
    using DevicePtr = std::shared_ptr<device::DeviceBase>;

    // The device a control of a page stands for: a console row of the linked consoles, a
    // loudspeaker box of the zone targets.
    class TranslationZoneData : public wxClientData {
    public:
        explicit TranslationZoneData(DevicePtr device) : device_(std::move(device)) {}
        const DevicePtr& device() const { return device_; }

    private:
        DevicePtr device_;
    };

    // The pause after the last move of the volume slider before the volume is sent.
    static constexpr std::uint32_t kVolumeDelayMs = 200;

    PropertyDevicePanel(wxWindow* parent, std::shared_ptr<device::DeviceCollection> devices,
                        std::shared_ptr<device::TransferProtocol> transfer, bool debugMode,
                        Questions& questions);
    ~PropertyDevicePanel() override;

    // `close` switches the owner's view back; it runs after killFocus. `update` refreshes the
    // owner's device tree.
    void setCallback(std::function<void()> close, std::function<void()> update);
    void imbueDevice(const DevicePtr& device);
    // Fills the current page from the device; from another thread it is queued for the GUI thread.
    void updateData();
    // Refills the zone pages when one of them is shown; the owner calls it on state changes.
    void refreshView();
    // Ends the current page's work and releases the device.
    void killFocus();
    // Once, before the owner destroys the panel.
    void shutdown();

    // The online guard of every page handler: a device that is offline or does not answer closes
    // the panel with "Устройство не в сети".
    bool checkOnlineDevice();
    // Ends the current page's work and disables apply and cancel.
    void leaveTab();
    // Puts the pages the device calls for into the notebook.
    void layoutTabs();
    // The shown page holds edits for apply and cancel (or none); the bar offers them while the
    // page acts.
    void enableApplyButtons(bool enable);
    // The shown page has something for cancel alone to end.
    void enableCancelButton(bool enable);

    // Writes the pending audio-memory edits with a progress dialog; true when the device took
    // them all. A refusal of the memory passes on.
    bool writeAudioMemory();

    int currentTab() const { return m_currentTab; }
    // The shown page waits for what it read before it takes edits.
    bool pageWaits() const;
    // The panel shows the page, as read from the device shown: the page's controls that change
    // the device, and apply, act.
    bool acts(int page) const;
    // The shown page holds edits that apply would write.
    bool pageEdited() const { return m_states.applyWanted(); }
    const std::set<int>& shownTabs() const { return m_shownTabs; }

protected:
    // The frame.
    void notebookPrefOnNotebookPageChanged(wxNotebookEvent& event) override;
    void applyOnButtonClick(wxCommandEvent& event) override;
    void cancelOnButtonClick(wxCommandEvent& event) override;
    void closeOnButtonClick(wxCommandEvent& event) override;
    void enableApplyOnChar(wxEvent& event) override;
    void enableApplyOnSettingChanged(wxEvent& event) override;

    // The pages' handlers, each forwarded to its page (PropertyDevicePanelSlots.cpp).
    void OnSize(wxSizeEvent& event) override;
    void textDebugExchangeOnPress(wxCommandEvent& event) override;
    void buttonDebugExchangeOnClick(wxCommandEvent& event) override;
    void addCommandOnButtonClick(wxCommandEvent& event) override;
    void commandSuiteOnButtonClick(wxCommandEvent& event) override;
    void removeStrSizerOnClick(wxCommandEvent& event);
    void updateFirmwareOnButtonClick(wxCommandEvent& event) override;
    void rebootOnClick(wxCommandEvent& event) override;
    void testDeviceOnButtonClick(wxCommandEvent& event) override;
    void buttonSetLineOnClick(wxCommandEvent& event) override;
    void onCheckBoxEqualizer(wxCommandEvent& event) override;
    void onBandSlider(wxEvent& event) override;
    void resetEqOnButtonClick(wxCommandEvent& event) override;
    void changeTribelTypeOnChoice(wxCommandEvent& event) override;
    void singlePowerOnCheckBox(wxCommandEvent& event) override;

    void listCtrlAudioFragmentOnRightDown(wxMouseEvent& event) override;
    void listCtrlAudioFragmentOnListItemDeselected(wxListEvent& event) override;
    void listCtrlAudioFragmentOnListItemSelected(wxListEvent& event) override;
    void listCtrlAudioFragmentOnRightUp(wxMouseEvent& event) override;
    void menuFragmentPlayOnSelection(wxCommandEvent& event) override;
    void menuAudioStopOnSelection(wxCommandEvent& event) override;
    void menuFragmentAddOnSelection(wxCommandEvent& event) override;
    void menuFragmentSaveOnSelection(wxCommandEvent& event) override;
    void menuFragmentDeleteOnSelection(wxCommandEvent& event) override;
    void listCtrlAudioScenarioOnListItemDeselected(wxListEvent& event) override;
    void listCtrlAudioScenarioOnListItemSelected(wxListEvent& event) override;
    void listCtrlAudioScenarioOnRightDown(wxMouseEvent& event) override;
    void listCtrlAudioScenarioOnRightUp(wxMouseEvent& event) override;
    void menuScenarioAddOnSelection(wxCommandEvent& event) override;
    void menuScenarioDeleteOnSelection(wxCommandEvent& event) override;
    void menuScenarioPlayOnSelection(wxCommandEvent& event) override;
    void audioMemoryOnButtonClick(wxCommandEvent& event) override;
    void clearMemory(wxCommandEvent& event) override;
    void revertChanges(wxCommandEvent& event) override;
    void saveImageMemory(wxCommandEvent& event) override;
    void saveRawImageMemory(wxCommandEvent& event) override;
    void loadImageMemory(wxCommandEvent& event) override;

    void dhcpOnCheckBox(wxCommandEvent& event) override;
    void allowIpOnCheckBox(wxCommandEvent& event) override;
    void onCheckBoxIsTestNerida(wxCommandEvent& event) override;
    void sourceOnCheckBox(wxCommandEvent& event) override;
    void sourcePriorityOnCheckBox(wxCommandEvent& event) override;
    void testSoundPressureOnButtonClick(wxCommandEvent& event) override;

    void tipDevicesOnCheckBox(wxCommandEvent& event) override;
    void rebootMasterOfTipDevices(wxCommandEvent& event) override;
    void addAllTipDevices_onButtonClick(wxCommandEvent& event) override;
    void resetPrefOnButtonClick(wxCommandEvent& event) override;

    void accessControlOnToggleButton(wxCommandEvent& event) override;
    void addPasskeyOnButtonClick(wxCommandEvent& event) override;
    void resetPasskeysOnButtonClick(wxCommandEvent& event) override;

    void toggleZoneButton(wxCommandEvent& event) override;
    void removeZoneOnButtonClick(wxCommandEvent& event) override;
    void resetZonesOnButtonClick(wxCommandEvent& event) override;
    void fixZoneIntegrityOnButtonClick(wxCommandEvent& event) override;
    void allZonesOnCheckBox(wxCommandEvent& event) override;

    void debugTargetOnToggleButton(wxCommandEvent& event) override;
    void debugMessagesOnCheckBox(wxCommandEvent& event) override;
    void refreshTimeOnChoice(wxCommandEvent& event) override;
    void copyOnButtonClick(wxCommandEvent& event) override;
    void clearOnButtonClick(wxCommandEvent& event) override;
    void setVolumeOnScrollChanged(wxScrollEvent& event) override;
    void chartOnCheckBox(wxCommandEvent& event) override;
    void paintTextOnPanel(wxPaintEvent& event) override;

private:
    // The pages and their areas build on the layout's controls.
    friend class PagePart;
    friend class CommonPage;
    friend class EqualizerArea;
    friend class DeviceActionArea;
    friend class CommandExchange;
    friend class AudioMemoryPage;
    friend class NetworkPage;
    friend class NeridaPage;
    friend class SourcePage;
    friend class LinePage;
    friend class PasskeyPage;
    friend class ZoneTargetsPage;
    friend class ZoneRepairArea;
    friend class LinkedConsolesPage;
    friend class DebugPage;

    struct PageRecord {
        wxString title;
        wxWindow* window = nullptr;
    };

    // What the pages use of the frame.
    const DevicePtr& shownDevice() const { return m_device; }
    device::DeviceCollection& registry() const { return *m_devices; }
    device::TransferProtocol& transport() const { return *m_transfer; }
    Questions& questions() const { return m_questions; }
    PageWork& pageWork() { return m_work; }
    PageStates& pageStates() { return m_states; }
    const PageStates& pageStates() const { return m_states; }
    // Shows on the bar what the shown page offers now.
    void showBar();
    // The notebook shows the current page, which the panel fills and acts on.
    void showCurrentTab();
    bool debugMode() const { return m_debugMode; }
    bool isShutdown() const { return m_isShutdown; }
    // Runs the close callback, which the owner always sets.
    void runCloseCallback();
    // Closes the panel when the owner set its close callback.
    void close();
    void runUpdateCallback();
    // Whether the control of the event is offered to the operator now: what a disabled one reports
    // (on a page that waits for its read, or while the panel writes) is no edit.
    static bool offered(const wxEvent& event);
    // Shows what a page's apply made of its edits.
    void finishApply(bool success, bool stopped, bool closeAfterwards);
    // The shown page's object; null for none.
    PropertyPage* page(int id) const;
    // The shown page and device, asked on the GUI thread by the queued work before it shows.
    bool isShowing(const device::DeviceBase* device, int page) const;

    std::function<void()> m_closeCallback;
    std::function<void()> m_updateCallback;
    DevicePtr m_device;
    net::HardwareAddress m_lastHardwareAddress;
    std::shared_ptr<device::TransferProtocol> m_transfer;
    const bool m_debugMode;
    bool m_isShutdown = false;
    std::map<int, PageRecord> m_pages;
    int m_currentTab;
    device::Version m_layoutVersion;
    std::shared_ptr<device::DeviceCollection> m_devices;
    std::set<int> m_shownTabs;
    Questions& m_questions;
    // The queued work of every page.
    PageWork m_work;
    // Whether each page shows what it read, and the edits of the shown one.
    PageStates m_states;

    std::unique_ptr<EqualizerArea> m_equalizer;
    std::unique_ptr<DeviceActionArea> m_actions;
    std::unique_ptr<CommandExchange> m_commandExchange;
    std::unique_ptr<CommonPage> m_common;
    std::unique_ptr<AudioMemoryPage> m_memory;
    std::unique_ptr<NetworkPage> m_network;
    std::unique_ptr<NeridaPage> m_nerida;
    std::unique_ptr<SourcePage> m_source;
    std::unique_ptr<LinePage> m_line;
    std::unique_ptr<PasskeyPage> m_passkeys;
    std::unique_ptr<ZoneTargetsPage> m_zoneTargets;
    std::unique_ptr<LinkedConsolesPage> m_linkedConsoles;
    std::unique_ptr<DebugPage> m_debug;
    std::map<int, PropertyPage*> m_pageObjects;
};

}  // namespace frm
