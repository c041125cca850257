#include "propertypanel/PropertyDevicePanel.h"

#include <wx/thread.h>

#include "app/kit/GuiFreezer.h"
#include "app/kit/Questions.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/IAudioControl.h"
#include "devicelink/TransferProtocol.h"
#include "devices/TribelInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SettingKeys.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"

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

const wchar_t* const kFireConsoleWarning =
    L"Согласно действующих нормативно-правовых актов (НПА),\nдоступ к органам управления пожарной консоли "
    L"необходимо заблокировать\n(включите контроль доступа)";

}  // namespace

PropertyDevicePanel::PropertyDevicePanel(wxWindow* parent, std::shared_ptr<device::DeviceCollection> devices,
                                         std::shared_ptr<device::TransferProtocol> transfer, bool debugMode,
                                         Questions& questions)
    : fb::PropertyDevicePanel(parent),
      m_transfer(std::move(transfer)),
      m_debugMode(debugMode),
      m_currentTab(pages::common),
      m_devices(std::move(devices)),
      m_refreshPeriod(fill::kDefaultRefreshMs),
      m_questions(questions),
      m_work(pageIds()) {
    debug::Place("frm::PropertyDevicePanel::PropertyDevicePanel").trace(L"");
    m_debugPolling->transfer = m_transfer;
    m_work.setShowingCheck(
        [this](const device::DeviceBase* device, int page) { return isShowing(device, page); });
    // Work of a page whose device stopped answering closes the panel as the online guard does.
    m_work.setOfflineHandler([this] {
        if (checkOnlineDevice())
            debug::Place("frm::PropertyDevicePanel::checkOnlineDevice").debug(L"the device answers again");
    });
    adjustLayout();
}

PropertyDevicePanel::~PropertyDevicePanel() {
    const debug::Place place("frm::PropertyDevicePanel::~PropertyDevicePanel");
    place.trace(L"PropertyDevicePanel::~PropertyDevicePanel() begin");
    // Whatever is still queued must not reach the panel any more.
    m_work.shutdown();
    m_transfer.reset();
    place.trace(L"PropertyDevicePanel::~PropertyDevicePanel() end");
}

void PropertyDevicePanel::adjustLayout() {
    const wxFont fixed(10, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                       L"Courier New");
    m_debugHistoryMain->SetFont(fixed);
    m_debugHistoryLine->SetFont(fixed);
    m_chart->Show(pref::getBool(setting::debugChart));

    if (!pref::getBool(setting::mainWindowAlarmButtons)) {
        // The alarm stream is not offered: its row goes, and with it the lowest priority.
        for (wxChoice* priority : {m_priVoiceAlert, m_priAin1, m_priAin0, m_priStreamMCast, m_priZoneInput})
            priority->Delete(5);
        m_priStreamLabel->Hide();
        m_priStream->Hide();
    }
    if (!m_debugMode) {
        m_directExchangePanel->Hide();
        m_tipReboot->Hide();
        m_audioMemoryMenu->Destroy(ID_MEMORY_SAVE_RAW_IMAGE);
        m_stamp->Hide();
    }
    m_igmp->Show(m_debugMode);

    const int addressWidth = m_ip->GetTextExtent(L"_255.255.255.255_").GetWidth();
    for (wxTextCtrl* field : {m_ip, m_mask})
        field->SetMinSize(wxSize(addressWidth, field->GetMinSize().GetHeight()));

    enableApplyButtons(false);
    // The rows are built by the pages; the placeholders leave the lists.
    m_tipTemplateRow->Hide();
    m_tipRows->Detach(m_tipTemplateRow);
    m_passkeyTemplateRow->Hide();
    m_passkeyRows->Detach(m_passkeyTemplateRow);
    m_tribelWarning->Hide();

    const long listStyle = wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_HRULES;
    m_fragmentList->SetWindowStyleFlag(listStyle);
    for (const wchar_t* column : {L"№", L"Название", L"Размер", L"Путь к файлу"})
        m_fragmentList->AppendColumn(column);
    m_scenarioList->SetWindowStyleFlag(listStyle);
    for (const wchar_t* column : {L"№", L"Название", L"Гонг", L"Фрагмент", L"Повторять (сек)"})
        m_scenarioList->AppendColumn(column);

    // Every final change of a slider's position is sent: the keys, the wheel and the mouse.
    m_bassSlider->Bind(wxEVT_SCROLL_CHANGED, &PropertyDevicePanel::bassOnScrollChanged, this);
    m_trebleSlider->Bind(wxEVT_SCROLL_CHANGED, &PropertyDevicePanel::trebleOnScrollChanged, this);
    for (wxSlider* band : m_bands) {
        band->SetRange(-10, 0);
        band->SetValue(0);
        m_bandSliders.push_back(band);
    }

    m_tipRemoveAll->Disable();
    m_tipVersion->Hide();
    m_passkeyHint->Hide();

    // One handler serves both exchange buttons: each names its own command box.
    m_exchange->SetClientData(m_command);
    m_debugExchange->SetClientData(m_debugCommand);

    for (std::size_t index = 0; index < m_notebookPref->GetPageCount(); ++index) {
        wxWindow* page = m_notebookPref->GetPage(index);
        m_pages[page->GetId()] = PageRecord{m_notebookPref->GetPageText(index), page};
    }
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
    if (sameAddress(device->getHardwareAddress(), m_lastHardwareAddress)) return;
    // Another device: its debug history starts empty and no zone of it is chosen yet.
    m_currentZone.reset();
    for (wxToggleButton* zone : m_zoneButtons) zone->SetValue(false);
    m_debugHistoryMain->Clear();
    m_debugHistoryLine->Clear();
    m_debugMessages.clearAll();
    checkTribelConfig(false);
}

bool PropertyDevicePanel::isShowing(const device::DeviceBase* device, int page) const {
    return !m_isShutdown && m_device.get() == device && m_currentTab == page;
}

void PropertyDevicePanel::layoutTabs() {
    const debug::Place place("frm::PropertyDevicePanel::layoutTabs");
    const std::set<int> wanted = pages::wanted(traitsOf(*m_device));
    const pages::TabLayout layout = pages::layoutTabs(m_shownTabs, wanted, m_currentTab, m_debugMode);
    if (layout.relevant) {
        place.trace(L"Layout tabs are relevant");
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
        m_notebookPref->AddPage(record.window, record.title, current);
        record.window->Show();
    }
    m_shownTabs = wanted;
    if (layout.fellBack) {
        place.debug(L"change tab to default");
        m_currentTab = pages::common;
        m_notebookPref->ChangeSelection(0);
    }
    m_layoutVersion = version;
}

void PropertyDevicePanel::notebookPrefOnNotebookPageChanged(wxNotebookEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::notebookPrefOnNotebookPageChanged");
    place.trace(L"");
    // The pages are being laid out again: the notebook reports its own changes.
    if (m_notebookPref->IsFrozen()) {
        place.debug(L"skip tab changing");
        return;
    }
    // The online guard may close the panel and release the device meanwhile.
    const DevicePtr device = m_device;
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
    switch (m_currentTab) {
        case pages::audioMemory:
            // The pending edits are dropped off the window; the memory's lock keeps its readers
            // waiting meanwhile.
            if (m_audioMemory && m_audioMemory->hasChanges()) {
                base::ThreadDispatcher::add(L"drop the audio memory's edits", 0, [memory = m_audioMemory] {
                    try {
                        memory->reload();
                    } catch (const exception::Base& failure) {
                        debug::Place("frm::PropertyDevicePanel::leaveTab")
                            .important(L"%1%",
                                       failure.description.empty() ? failure.message : failure.description);
                    }
                });
            }
            break;
        case pages::lineControl:
            m_tipDevicesBlocked = false;
            break;
        case pages::passkey:
            // A console still waiting for a key stops waiting.
            if (const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device)) {
                if (console->requestPasskeys()) console->finishPasskey();
            }
            break;
        case pages::debugMessage:
            pref::setInt(setting::debugMainSplitter.key, m_mainSplitter->GetSashPosition());
            pref::setInt(setting::debugHistorySplitter.key, m_historySplitter->GetSashPosition());
            break;
        default:
            break;
    }
    // Whatever the page queued stops here, also an item that runs already.
    m_work.leave(m_currentTab);
}

void PropertyDevicePanel::killFocus() {
    leaveTab();
    if (m_device) m_lastHardwareAddress = m_device->getHardwareAddress();
    m_device.reset();
    m_audioMemory.reset();
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
    if (m_closeCallback) m_closeCallback();
    return false;
}

void PropertyDevicePanel::checkTribelConfig(bool showMessage) {
    auto* console = dynamic_cast<device::TribelInfo*>(m_device.get());
    // A console that does not answer is not asked: the online guard reports it.
    const bool unlocked = console != nullptr && console->isOnlineAndResponding() && [&] {
        const device::TribelConfig config = console->getConfig(false);
        return config.fireConsole && !config.passkey;
    }();
    m_tribelWarning->Show(unlocked);
    if (unlocked && showMessage)
        debug::Place("frm::PropertyDevicePanel::checkTribelConfig")
            .warn(L"%1%", std::wstring(kFireConsoleWarning));
    m_pageCommon->Layout();
}

void PropertyDevicePanel::shutdown() {
    const debug::Place place("frm::PropertyDevicePanel::shutdown");
    place.trace(L"PropertyDevicePanel::shutdown() begin");
    m_isShutdown = true;
    m_work.shutdown();
    if (m_transfer) m_transfer->clearSniffers();
    m_bandSliders.clear();
    m_equalizer.reset();
    m_closeCallback = nullptr;
    m_updateCallback = nullptr;
    m_debugMessages.clearAll();
    m_pages.clear();
    place.trace(L"PropertyDevicePanel::shutdown() 1");
    m_device.reset();
    m_audioMemory.reset();
    m_devices.reset();
    place.trace(L"PropertyDevicePanel::shutdown() 2");
    place.trace(L"PropertyDevicePanel::shutdown() end");
}

void PropertyDevicePanel::refreshView() {
    // A device that stopped answering is left to the online guard of the next page action,
    // rather than reported at every state change.
    if (!m_device || !m_device->isOnlineAndResponding()) return;
    // Ticks not yet applied stay: the zone page is rebuilt only while it has no edits.
    if (m_currentTab == pages::zoneTargets && !m_apply->IsEnabled()) fillZoneTargets();
    if (m_currentTab == pages::linkedConsoles) fillLinkedConsoles();
}

void PropertyDevicePanel::closeOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::closeOnButtonClick").trace(L"");
    runCloseCallback();
}

}  // namespace frm
