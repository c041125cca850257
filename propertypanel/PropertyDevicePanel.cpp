#include "propertypanel/PropertyDevicePanel.h"

#include <wx/thread.h>

#include "app/kit/GuiFreezer.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/TransferProtocol.h"
#include "devices/TribelInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "propertypanel/ApplyRules.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/pages/AudioMemoryPage.h"
#include "propertypanel/pages/CommandExchange.h"
#include "propertypanel/pages/CommonPage.h"
#include "propertypanel/pages/DebugPage.h"
#include "propertypanel/pages/DeviceActionArea.h"
#include "propertypanel/pages/EqualizerArea.h"
#include "propertypanel/pages/LinePage.h"
#include "propertypanel/pages/LinkedConsolesPage.h"
#include "propertypanel/pages/NeridaPage.h"
#include "propertypanel/pages/NetworkPage.h"
#include "propertypanel/pages/PasskeyPage.h"
#include "propertypanel/pages/SourcePage.h"
#include "propertypanel/pages/ZoneTargetsPage.h"

namespace frm {
namespace {

static_assert(pages::common == fb::PropertyDevicePanel::ID_PAGE_COMMON &&
                  pages::audioMemory == fb::PropertyDevicePanel::ID_PAGE_AUDIO_MEMORY &&
                  pages::network == fb::PropertyDevicePanel::ID_PAGE_NETWORK &&
                  pages::nerida == fb::PropertyDevicePanel::ID_PAGE_NERIDA &&
                  pages::source == fb::PropertyDevicePanel::ID_PAGE_SOURCE &&
                  pages::lineControl == fb::PropertyDevicePanel::ID_PAGE_LINE_CONTROL &&
                  pages::passkey == fb::PropertyDevicePanel::ID_PAGE_PASSKEY &&
                  pages::zoneTargets == fb::PropertyDevicePanel::ID_PAGE_ZONE_TARGETS &&
                  pages::linkedConsoles == fb::PropertyDevicePanel::ID_PAGE_LINKED_CONSOLES &&
                  pages::debugMessage == fb::PropertyDevicePanel::ID_PAGE_DEBUG_MESSAGE,
              "the layout's page ids are the panel's");

std::vector<int> pageIds() {
    std::vector<int> ids;
    for (const pages::PageInfo& page : pages::all()) ids.push_back(page.id);
    return ids;
}

bool sameAddress(const net::HardwareAddress& a, const net::HardwareAddress& b) {
    return a.isValid() == b.isValid() && a.getHigh() == b.getHigh() && a.getLow() == b.getLow();
}

// One fill at a time in the whole program: a handler that a fill sets off does not fill again.
bool s_updating = false;

class UpdateRun {
public:
    UpdateRun() { s_updating = true; }
    ~UpdateRun() { s_updating = false; }
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;
};

}  // namespace

PropertyDevicePanel::PropertyDevicePanel(wxWindow* parent, std::shared_ptr<device::DeviceCollection> devices,
                                         std::shared_ptr<device::TransferProtocol> transfer, bool debugMode,
                                         Questions& questions)
    : fb::PropertyDevicePanel(parent),
      m_transfer(std::move(transfer)),
      m_debugMode(debugMode),
      m_currentTab(pages::common),
      m_devices(std::move(devices)),
      m_questions(questions),
      m_work(pageIds()) {
    debug::Place("frm::PropertyDevicePanel::PropertyDevicePanel").trace(L"");
    m_work.setShowingCheck(
        [this](const device::DeviceBase* device, int page) { return isShowing(device, page); });
    // Work of a page whose device stopped answering closes the panel as the online guard does.
    m_work.setOfflineHandler([this] {
        if (checkOnlineDevice())
            debug::Place("frm::PropertyDevicePanel::checkOnlineDevice").debug(L"the device answers again");
    });
    for (std::size_t index = 0; index < m_notebookPref->GetPageCount(); ++index) {
        wxWindow* page = m_notebookPref->GetPage(index);
        m_pages[page->GetId()] = PageRecord{m_notebookPref->GetPageText(index), page};
    }
    m_equalizer = std::make_unique<EqualizerArea>(*this);
    m_actions = std::make_unique<DeviceActionArea>(*this);
    m_commandExchange = std::make_unique<CommandExchange>(*this);
    m_common = std::make_unique<CommonPage>(*this, *m_equalizer);
    m_memory = std::make_unique<AudioMemoryPage>(*this);
    m_network = std::make_unique<NetworkPage>(*this);
    m_nerida = std::make_unique<NeridaPage>(*this);
    m_source = std::make_unique<SourcePage>(*this);
    m_line = std::make_unique<LinePage>(*this);
    m_passkeys = std::make_unique<PasskeyPage>(*this);
    m_zoneTargets = std::make_unique<ZoneTargetsPage>(*this);
    m_linkedConsoles = std::make_unique<LinkedConsolesPage>(*this);
    m_debug = std::make_unique<DebugPage>(*this);
    for (PropertyPage* page : std::initializer_list<PropertyPage*>{
             m_common.get(), m_memory.get(), m_network.get(), m_nerida.get(), m_source.get(), m_line.get(),
             m_passkeys.get(), m_zoneTargets.get(), m_linkedConsoles.get(), m_debug.get()})
        m_pageObjects[page->id()] = page;
    enableApplyButtons(false);
}

PropertyDevicePanel::~PropertyDevicePanel() {
    const debug::Place place("frm::PropertyDevicePanel::~PropertyDevicePanel");
    place.trace(L"PropertyDevicePanel::~PropertyDevicePanel() begin");
    // Whatever is still queued must not reach the panel any more.
    m_work.shutdown();
    m_transfer.reset();
    place.trace(L"PropertyDevicePanel::~PropertyDevicePanel() end");
}

void PropertyDevicePanel::setCallback(std::function<void()> close, std::function<void()> update) {
    m_closeCallback = [this, close = std::move(close)] {
        killFocus();
        if (close) close();
    };
    m_updateCallback = std::move(update);
}

void PropertyDevicePanel::imbueDevice(const DevicePtr& device) {
    debug::throwIfFalse(device != nullptr, "frm::PropertyDevicePanel::imbueDevice");
    m_device = device;
    m_work.invalidate();
    m_states.reset();
    if (sameAddress(device->getHardwareAddress(), m_lastHardwareAddress)) return;
    for (const auto& [id, page] : m_pageObjects) page->deviceChanged();
}

PropertyPage* PropertyDevicePanel::page(int id) const {
    const auto found = m_pageObjects.find(id);
    return found == m_pageObjects.end() ? nullptr : found->second;
}

bool PropertyDevicePanel::pageWaits() const {
    return m_states.waits(m_currentTab);
}

bool PropertyDevicePanel::acts(int page) const {
    return !m_isShutdown && m_device && m_currentTab == page && m_states.acts(page);
}

bool PropertyDevicePanel::isShowing(const device::DeviceBase* device, int page) const {
    return !m_isShutdown && m_device.get() == device && m_currentTab == page;
}

void PropertyDevicePanel::updateData() {
    if (m_isShutdown) return;
    if (!wxThread::IsMain()) {
        m_work.onGui([this] { updateData(); });
        return;
    }
    const debug::Place place("frm::PropertyDevicePanel::updateData");
    if (s_updating) {
        place.debug(L"skip the update data for current tab is %1%", m_currentTab);
        return;
    }
    const UpdateRun run;
    if (!m_device) return;
    place.trace(L"update data, current tab %1%", m_currentTab);
    if (!checkOnlineDevice()) return;
    debug::throwIfFalse(m_device && m_transfer, "frm::PropertyDevicePanel::updateData");
    layoutTabs();
    m_deviceName->SetLabel(m_device->getDisplayName());
    m_debug->listen();
    if (const pages::PageInfo* info = pages::find(m_currentTab))
        place.trace(L"%1%", std::wstring(info->logName));
    if (PropertyPage* shown = page(m_currentTab)) shown->fill();
    place.trace(L"property data is updated");
}

void PropertyDevicePanel::layoutTabs() {
    const debug::Place place("frm::PropertyDevicePanel::layoutTabs");
    const std::set<int> wanted = pages::wanted(traitsOf(*m_device));
    const pages::TabLayout layout = pages::layoutTabs(m_shownTabs, wanted, m_currentTab, m_debugMode);
    if (layout.relevant) {
        place.trace(L"Layout tabs are relevant");
        showCurrentTab();
        return;
    }
    for (const int id : wanted)
        debug::throwIfFalse(m_pages.count(id) == 1, "frm::PropertyDevicePanel::layoutTabs");
    const device::Version version = m_device->getVersion();
    place.debug(L"Do layout tabs for the device type '%1%'", base::widen(device::toText(version.type)));
    GuiFreezer freezer(m_notebookPref);
    while (m_notebookPref->GetPageCount() > 0) m_notebookPref->RemovePage(0);
    // A page out of the notebook stays its child: hidden, it cannot show through.
    for (auto& [id, record] : m_pages) record.window->Hide();
    if (wanted.count(pages::debugMessage) == 1 && !m_debugMode)
        place.debug(L"debug mode is disabled, skip debug page");
    std::size_t position = 0;
    for (const int id : layout.inserted) {
        const PageRecord& record = m_pages.at(id);
        const bool current = id == layout.current;
        place.debug(L"add tab %1%,%2%(%3%)='%4%'", position++, id, current ? L"show" : L"no", record.title);
        // Shown before it is added: the toolkit does not select a hidden page, and the notebook
        // would go on showing its first page while the panel fills the current one.
        record.window->Show();
        m_notebookPref->AddPage(record.window, record.title, current);
    }
    m_shownTabs = wanted;
    if (layout.fellBack) {
        place.debug(L"change tab to default");
        m_currentTab = pages::common;
    }
    showCurrentTab();
    m_layoutVersion = version;
}

void PropertyDevicePanel::showCurrentTab() {
    for (std::size_t index = 0; index < m_notebookPref->GetPageCount(); ++index) {
        if (m_notebookPref->GetPage(index)->GetId() != m_currentTab) continue;
        if (m_notebookPref->GetSelection() != static_cast<int>(index)) m_notebookPref->ChangeSelection(index);
        return;
    }
}

void PropertyDevicePanel::notebookPrefOnNotebookPageChanged(wxNotebookEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::notebookPrefOnNotebookPageChanged");
    place.trace(L"");
    // The pages are being laid out again: the notebook reports its own changes.
    if (m_notebookPref->IsFrozen()) {
        place.debug(L"skip tab changing");
        return;
    }
    if (!checkOnlineDevice()) return;
    leaveTab();
    const int index = event.GetSelection();
    debug::throwIfFalse(index != wxNOT_FOUND, "frm::PropertyDevicePanel::notebookPrefOnNotebookPageChanged");
    m_currentTab = m_notebookPref->GetPage(static_cast<std::size_t>(index))->GetId();
    place.debug(L"change tab to %1%[%2%]", index, m_currentTab);
    updateData();
}

void PropertyDevicePanel::leaveTab() {
    enableApplyButtons(false);
    if (PropertyPage* shown = page(m_currentTab)) shown->leave();
    // Whatever the page queued stops here, also an item that runs already.
    m_work.leave(m_currentTab);
    m_states.leave(m_currentTab);
    showBar();
}

void PropertyDevicePanel::killFocus() {
    leaveTab();
    if (m_device) m_lastHardwareAddress = m_device->getHardwareAddress();
    m_device.reset();
    for (const auto& [id, page] : m_pageObjects) page->release();
    m_work.invalidate();
    if (m_transfer) m_transfer->clearSniffers();
}

bool PropertyDevicePanel::checkOnlineDevice() {
    if (m_device && m_device->isOnline() && m_device->responding.load()) {
        Enable();
        return true;
    }
    Disable();
    debug::Place("frm::PropertyDevicePanel::checkOnlineDevice").notice(L"Устройство не в сети");
    close();
    return false;
}

void PropertyDevicePanel::shutdown() {
    const debug::Place place("frm::PropertyDevicePanel::shutdown");
    place.trace(L"PropertyDevicePanel::shutdown() begin");
    m_isShutdown = true;
    m_work.shutdown();
    if (m_transfer) m_transfer->clearSniffers();
    m_equalizer->release();
    m_closeCallback = nullptr;
    m_updateCallback = nullptr;
    // The histories go as they would with another device.
    m_debug->deviceChanged();
    m_pages.clear();
    place.trace(L"PropertyDevicePanel::shutdown() 1");
    m_device.reset();
    for (const auto& [id, page] : m_pageObjects) page->release();
    m_devices.reset();
    place.trace(L"PropertyDevicePanel::shutdown() 2");
    place.trace(L"PropertyDevicePanel::shutdown() end");
}

void PropertyDevicePanel::refreshView() {
    // A device that stopped answering is left to the online guard of the next page action,
    // rather than reported at every state change.
    if (!m_device || !m_device->isOnlineAndResponding()) return;
    if (PropertyPage* shown = page(m_currentTab)) shown->refresh();
}

void PropertyDevicePanel::applyOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::applyOnButtonClick");
    place.trace(L"");
    if (!checkOnlineDevice()) return;
    if (!m_closeCallback || !m_updateCallback) {
        place.warn(L"Internal error. callback doesn't set");
        return;
    }
    // The page does not show what it read: its controls hold nothing to write.
    if (!acts(m_currentTab)) {
        place.debug(L"apply is refused while the page %1% does not show what it read", m_currentTab);
        return;
    }
    const auto done = [this](const PropertyPage::Applied& applied) {
        finishApply(applied.success, applied.stopped, applied.closeAfterwards);
    };
    if (PropertyPage* shown = page(m_currentTab)) {
        shown->apply(done);
    } else {
        done(PropertyPage::Applied());
    }
}

void PropertyDevicePanel::finishApply(bool success, bool stopped, bool closeAfterwards) {
    const apply::ApplyEnding ending = apply::applyEnding(success, stopped, closeAfterwards);
    if (ending.reportSuccess)
        debug::Place("frm::PropertyDevicePanel::applyOnButtonClick").notice(L"Выполнение операции завершено");
    if (ending.disableButtons) enableApplyButtons(false);
    if (ending.refill) updateData();
    if (ending.close) close();
}

void PropertyDevicePanel::cancelOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::cancelOnButtonClick");
    place.trace(L"");
    // The page is being read, or shows nothing read: there is nothing of the operator's to drop.
    if (!acts(m_currentTab)) {
        place.debug(L"cancel is refused while the page %1% does not show what it read", m_currentTab);
        return;
    }
    // The page shows the device's values again: nothing is left to apply.
    enableApplyButtons(false);
    updateData();
    if (PropertyPage* shown = page(m_currentTab)) shown->cancel();
    if (std::dynamic_pointer_cast<device::TribelInfo>(m_device)) {
        m_passkeys->endLearning();
        if (m_currentTab != pages::zoneTargets) m_zoneTargets->cancel();
    }
}

void PropertyDevicePanel::closeOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::closeOnButtonClick").trace(L"");
    runCloseCallback();
}

void PropertyDevicePanel::runCloseCallback() {
    if (!m_closeCallback) throw exception::InternalError(L"Не установлен обработчки закрытия панели");
    m_closeCallback();
}

void PropertyDevicePanel::close() {
    if (m_closeCallback) m_closeCallback();
}

void PropertyDevicePanel::runUpdateCallback() {
    if (m_updateCallback) m_updateCallback();
}

void PropertyDevicePanel::enableApplyOnChar(wxEvent& event) {
    if (offered(event)) enableApplyButtons(true);
    event.Skip();
}

void PropertyDevicePanel::enableApplyOnSettingChanged(wxEvent& event) {
    if (offered(event)) enableApplyButtons(true);
}

bool PropertyDevicePanel::offered(const wxEvent& event) {
    const auto* control = dynamic_cast<const wxWindow*>(event.GetEventObject());
    return control == nullptr || control->IsEnabled();
}

void PropertyDevicePanel::enableApplyButtons(bool enable) {
    m_states.wantApply(enable);
    showBar();
}

void PropertyDevicePanel::enableCancelButton(bool enable) {
    m_states.wantCancel(enable);
    showBar();
}

void PropertyDevicePanel::showBar() {
    const PageStates::Bar bar = m_states.bar(m_currentTab);
    m_apply->Enable(bar.apply);
    m_cancel->Enable(bar.cancel);
}

bool PropertyDevicePanel::writeAudioMemory() {
    return m_memory->writeAudioMemory();
}

}  // namespace frm
