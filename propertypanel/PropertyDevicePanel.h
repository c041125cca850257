#pragma once
// The page of one loudspeaker or microphone console: the notebook pages its kind and
// capabilities call for, filled from the device when shown and refreshed as its state changes.
// The main window binds it to a device (imbueDevice, then updateData) and releases it
// (killFocus) before it switches its own view; the panel's close callback switches back.
//
// Everything here runs on the GUI thread. Work a page queues on the dispatcher goes through
// m_work: it holds the device weakly, checks that the panel still shows that device and page
// before it touches the device and again before it touches a control, and leaving the page
// removes what is still queued.

#include <wx/clntdata.h>

#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "devicelink/Version.h"
#include "foundation/NetworkAddress.h"
#include "layouts/PropertyDevicePanel.h"
#include "propertypanel/ConsoleLog.h"
#include "propertypanel/DebugMessages.h"
#include "propertypanel/MemoryPage.h"
#include "propertypanel/PageWork.h"

namespace device {
class DeviceBase;
class DeviceCollection;
class IEqualizer;
class TransferProtocol;
struct TribelConfig;
struct VokarConfig;
namespace memory {
class IAudioControl;
}
namespace tip_device {
struct TipDevice;
}
}  // namespace device

namespace frm {

class Questions;

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

    // The slots of the queued work of the debug page.
    static constexpr std::size_t kDebugPollSlot = 0;
    static constexpr std::size_t kDebugIndicatorSlot = 1;
    static constexpr std::size_t kVolumeSlot = 2;
    // The slot of the sources page's sound-pressure check.
    static constexpr std::size_t kSoundPressureSlot = 0;
    // The target that marks the end of the debug page's polling.
    static constexpr int kStoppedTarget = 2;
    // The pause after the last move of the volume slider before the volume is sent.
    static constexpr std::uint32_t kVolumeDelayMs = 200;
    // The slots of the line page's refresh and the key page's check.
    static constexpr std::size_t kLineRefreshSlot = 0;
    static constexpr std::uint32_t kLineRefreshMs = 2100;
    static constexpr std::size_t kPasskeyCheckSlot = 0;
    static constexpr std::uint32_t kPasskeyCheckMs = 1000;
    // The slots of the reads of the audio memory: its page's or the common page's console
    // fragments, the sources page's scenarios.
    static constexpr std::size_t kMemoryReadSlot = 0;
    static constexpr std::size_t kScenarioReadSlot = 1;

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
    // The warning of a fire console whose controls are not locked by access keys.
    void checkTribelConfig(bool showMessage);
    // Ends the current page's work and disables apply and cancel.
    void leaveTab();
    // Puts the pages the device calls for into the notebook.
    void layoutTabs();
    // Rebuilds the list of consoles bound to the loudspeaker shown.
    void fillLinkedConsoles();
    // Shows the device's volume on the debug page's slider.
    void initVolumeSlider();
    // Sets the DHCP box and fills the address boxes: the lease with DHCP, else the static ones.
    void enableDhcp(bool on);
    void enableApplyButtons(bool enable);

    // Writes the pending audio-memory edits with a progress dialog; true when the device took
    // them all. A refusal of the memory passes on.
    bool writeAudioMemory();

    int currentTab() const { return m_currentTab; }
    const std::set<int>& shownTabs() const { return m_shownTabs; }

protected:
    void notebookPrefOnNotebookPageChanged(wxNotebookEvent& event) override;
    void closeOnButtonClick(wxCommandEvent& event) override;
    void enableApplyOnChar(wxEvent& event) override;
    void enableApplyOnSettingChanged(wxEvent& event) override;
    void dhcpOnCheckBox(wxCommandEvent& event) override;
    void allowIpOnCheckBox(wxCommandEvent& event) override;
    void setVolumeOnScrollChanged(wxScrollEvent& event) override;

    // The audio-memory page (PropertyDevicePanelMemory.cpp).
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

    // The device actions of the common page (PropertyDevicePanelActions.cpp).
    void updateFirmwareOnButtonClick(wxCommandEvent& event) override;
    void buttonSetLineOnClick(wxCommandEvent& event) override;
    void rebootOnClick(wxCommandEvent& event) override;
    void testDeviceOnButtonClick(wxCommandEvent& event) override;

    // Apply and cancel (PropertyDevicePanelApply.cpp).
    void applyOnButtonClick(wxCommandEvent& event) override;
    void cancelOnButtonClick(wxCommandEvent& event) override;
    // The console's type and power options, the source rules and the Nerida line reserve
    // (PropertyDevicePanelOptions.cpp).
    void changeTribelTypeOnChoice(wxCommandEvent& event) override;
    void singlePowerOnCheckBox(wxCommandEvent& event) override;
    void sourceOnCheckBox(wxCommandEvent& event) override;
    void sourcePriorityOnCheckBox(wxCommandEvent& event) override;
    void onCheckBoxIsTestNerida(wxCommandEvent& event) override;
    // The equalizer, sent at once (PropertyDevicePanelEqualizer.cpp).
    void onCheckBoxEqualizer(wxCommandEvent& event) override;
    void onBandSlider(wxEvent& event) override;
    void resetEqOnButtonClick(wxCommandEvent& event) override;
    // The console's zone targets (PropertyDevicePanelZones.cpp).
    void toggleZoneButton(wxCommandEvent& event) override;
    void removeZoneOnButtonClick(wxCommandEvent& event) override;
    void resetZonesOnButtonClick(wxCommandEvent& event) override;
    void fixZoneIntegrityOnButtonClick(wxCommandEvent& event) override;
    void allZonesOnCheckBox(wxCommandEvent& event) override;
    // The line-control module and its end devices (PropertyDevicePanelLine.cpp).
    void tipDevicesOnCheckBox(wxCommandEvent& event) override;
    void rebootMasterOfTipDevices(wxCommandEvent& event) override;
    void addAllTipDevices_onButtonClick(wxCommandEvent& event) override;
    void resetPrefOnButtonClick(wxCommandEvent& event) override;
    // The console's access keys (PropertyDevicePanelPasskeys.cpp).
    void accessControlOnToggleButton(wxCommandEvent& event) override;
    void addPasskeyOnButtonClick(wxCommandEvent& event) override;
    void resetPasskeysOnButtonClick(wxCommandEvent& event) override;

    // The debug page and the device's error lines (PropertyDevicePanelDebug.cpp).
    void debugTargetOnToggleButton(wxCommandEvent& event) override;
    void debugMessagesOnCheckBox(wxCommandEvent& event) override;
    void refreshTimeOnChoice(wxCommandEvent& event) override;
    void copyOnButtonClick(wxCommandEvent& event) override;
    void clearOnButtonClick(wxCommandEvent& event) override;
    void chartOnCheckBox(wxCommandEvent& event) override;
    void paintTextOnPanel(wxPaintEvent& event) override;

    // The direct command exchange (PropertyDevicePanelExchange.cpp).
    void OnSize(wxSizeEvent& event) override;
    void textDebugExchangeOnPress(wxCommandEvent& event) override;
    void buttonDebugExchangeOnClick(wxCommandEvent& event) override;
    void addCommandOnButtonClick(wxCommandEvent& event) override;
    void commandSuiteOnButtonClick(wxCommandEvent& event) override;
    void removeStrSizerOnClick(wxCommandEvent& event);

    // The sound-pressure test (PropertyDevicePanelSoundPressure.cpp).
    void testSoundPressureOnButtonClick(wxCommandEvent& event) override;

private:
    struct PageRecord {
        wxString title;
        wxWindow* window = nullptr;
    };

    void adjustLayout();
    void fillPage();
    void fillCommonPage();
    void fillLoudspeakerCommon();
    void fillConsoleCommon();
    // Fills the console's gong list once its fragments are read off the window; the gong of
    // `config` is then selected.
    void readConsoleFragments(const device::TribelConfig& config, std::uint32_t versionId);
    void SetFullBassVolume(std::uint16_t word);
    void fillAudioMemoryPage();
    // Empties and disables the memory page until the memory, read off the window, arrives; with
    // `dropEdits` the read drops the pending edits first.
    void awaitAudioMemory(bool dropEdits);
    // Reads the memory on the dispatcher and shows it, or the failure, when the page still shows.
    void readAudioMemory(bool overwrite, bool dropEdits);
    void showReadAudioMemory(const std::shared_ptr<device::memory::IAudioControl>& memory,
                             const std::exception_ptr& failure);
    void fillNetworkPage();
    void fillNeridaPage();
    void fillSourcePage();
    // Adds the loudspeaker's scenarios to the inputs' choices once read off the window; an input
    // without a selection then shows its `configured` scenario.
    void readSourceScenarios(const std::array<std::int16_t, 2>& configured);
    void fillLinePage();
    void fillDebugPage();
    // The debug page (PropertyDevicePanelDebug.cpp).
    struct DebugPolling {
        std::shared_ptr<device::TransferProtocol> transfer;
        std::atomic<bool> requested{false};
        std::atomic<bool> once{false};
        std::atomic<unsigned> period{0};
        std::atomic<int> target{0};
    };
    void startDebugPage();
    void startRequestingDebugMessages();
    void stopRequestingDebugMessages();
    // One polling cycle, on the dispatcher: it touches no control and nothing of the panel but
    // through `polling`; `panel` is only handed to the answer's GUI work.
    static void requestDebugMessage(PropertyDevicePanel* panel, const std::shared_ptr<DebugPolling>& polling,
                                    const PageTicket& ticket, const DevicePtr& device);
    void handleDebugMessage(const std::string& reply, bool ok, int target);
    void showDebugText(const std::wstring& text);
    wxTextCtrl* debugHistory(int target) const;
    // Sends the error lines of the shown device to the error log.
    void listenToDevice();
    void toConsoleLog(const std::string& line);
    void fillConsoleLog();
    // The direct command exchange (PropertyDevicePanelExchange.cpp).
    void transferDirectRequest(const std::string& command);
    void addCommandRow(const std::wstring& command);
    std::vector<std::wstring> getCommandList() const;
    void fillCommandList(const std::vector<std::wstring>& commands);
    void clearCommandList();
    void fitCommandList();
    // The sound-pressure test (PropertyDevicePanelSoundPressure.cpp).
    void updateSoundPressureButton();
    // Runs the close callback, which the owner always sets.
    void runCloseCallback();
    // The audio-memory page (PropertyDevicePanelMemory.cpp).
    static constexpr std::int16_t kNoEntry = -1;
    void showAudioMemory();
    void requireAudioMemory(const char* place) const;
    void loadListCtrlAudioFragment();
    void reorderListCtrlAudioFragment();
    void loadListCtrlAudioScenario();
    void clearFragmentSelection();
    void clearScenarioSelection();
    memorypage::MenuState memoryMenuState(bool selected);
    void popupMemoryMenu(wxMenu* menu, const std::vector<int>& items);
    void saveImage(bool raw);

    // What apply writes for each page; `success` and `closeAfterwards` as apply reports them.
    struct ApplyResult {
        bool success = true;
        // The page could not be applied; its edits stay for the operator to mend.
        bool stopped = false;
        bool closeAfterwards = false;
    };
    void applyCommonPage(ApplyResult& result);
    void applyConsoleOptions(ApplyResult& result);
    void applyNetworkPage(ApplyResult& result);
    void applyNeridaPage(ApplyResult& result);
    void applySourcePage(ApplyResult& result);
    void applyLinePage(ApplyResult& result);
    void applyZoneTargets(ApplyResult& result);
    // Enables the source boxes by their rules and, when asked, sets the inputs' mode choices from
    // `shown`, or from the loudspeaker's settings when it is null.
    void initSource(bool allowOther, bool passInput1, bool passInput2, bool refreshInput1, bool refreshInput2,
                    const device::VokarConfig* shown = nullptr);
    // The bass and treble sliders send on every final change of position.
    void bassOnScrollChanged(wxScrollEvent& event);
    void trebleOnScrollChanged(wxScrollEvent& event);
    void applyEqualizerToDevices();
    void fillZoneTargets();
    void selectVokarInZoneOnCheckBox(wxCommandEvent& event);
    // Shows the module; while the line page is shown the next refresh follows kLineRefreshMs later.
    void refreshTipDevices(bool withVersion);
    void queueTipRefresh();
    void addTipDeviceRow(const device::tip_device::TipDevice& device, bool powerSave);
    // A pressed row button blocks the rebuild of its row until it is released.
    void tipDeviceButtonOnLeftDown(wxMouseEvent& event);
    void tipDeviceButtonOnLeftUp(wxMouseEvent& event);
    void addOrRemoveTipDeviceOnButtonClick(wxCommandEvent& event);
    void refreshPasskeys();
    // While the console learns a key it is asked again every kPasskeyCheckMs.
    void checkPasskeyAdding(const wchar_t* name);
    void queuePasskeyCheck(const PageTicket& ticket, const wchar_t* name);
    void deletePasskeyOnButtonClick(wxCommandEvent& event);
    void setAccessControl(bool on);
    // The shown page and device, asked on the GUI thread by the queued work before it shows.
    bool isShowing(const device::DeviceBase* device, int page) const;

    std::function<void()> m_closeCallback;
    std::function<void()> m_updateCallback;
    DevicePtr m_device;
    net::HardwareAddress m_lastHardwareAddress;
    std::shared_ptr<device::memory::IAudioControl> m_audioMemory;
    std::shared_ptr<device::TransferProtocol> m_transfer;
    std::shared_ptr<device::IEqualizer> m_equalizer;
    const bool m_debugMode;
    bool m_isShutdown = false;
    std::map<int, PageRecord> m_pages;
    int m_currentTab;
    device::Version m_layoutVersion;
    std::shared_ptr<device::DeviceCollection> m_devices;
    // The debug page's polling period, milliseconds.
    unsigned m_refreshPeriod;
    std::vector<wxSlider*> m_bandSliders;
    std::set<int> m_shownTabs;
    Questions& m_questions;
    // The zone of the zone-target page being edited; none until a zone button was pressed.
    std::optional<int> m_currentZone;
    // Set while the end devices are shown and while a row's button is held down.
    bool m_tipDevicesBlocked = false;
    // The queued work of every page, in place of the pages' task ids.
    PageWork m_work;

    // The audio-memory page: the selected rows and their ids, and where each fragment came from,
    // in list order (empty: already in the device's memory).
    std::int16_t m_selectedFragment = kNoEntry;
    int m_selectedFragmentRow = -1;
    std::int16_t m_selectedScenario = kNoEntry;
    int m_selectedScenarioRow = -1;
    std::vector<std::wstring> m_fragmentFiles;
    // The latest read of the audio memory; what an earlier one read is dropped.
    std::uint64_t m_memoryRead = 0;
    std::map<int, wxString> m_memoryMenuLabels;

    // The debug page: the polled target (0 main, 1 line control), what its polling reads, the
    // histories' reading, the painted plain block and the device's error lines.
    int m_debugTarget = 0;
    std::shared_ptr<DebugPolling> m_debugPolling = std::make_shared<DebugPolling>();
    debugpage::DebugMessages m_debugMessages;
    std::wstring m_debugText;
    ConsoleLog m_consoleLines;
    // Lives as long as the panel, for what reaches it from the transport.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace frm
