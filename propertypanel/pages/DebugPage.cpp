#include "propertypanel/pages/DebugPage.h"

#include <wx/clipbrd.h>
#include <wx/dcbuffer.h>

#include <vector>

#include "app/kit/GuiFreezer.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"
#include "foundation/SettingKeys.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

// The page's slots: the polling, the mark's return to idle, the pending volume, its read.
constexpr std::size_t kPollSlot = 0;
constexpr std::size_t kIndicatorSlot = 1;
constexpr std::size_t kVolumeSlot = 2;
constexpr std::size_t kVolumeReadSlot = 3;

const wxColour kMarkOk(3, 192, 60);
const wxColour kMarkFailed(255, 0, 0);
// The mark turns back to idle after each answer only when answers are far enough apart to see
// it blink.
constexpr unsigned kBlinkPeriodMs = 350;

std::vector<std::wstring> choiceItems(const wxChoice* choice) {
    std::vector<std::wstring> items;
    for (unsigned index = 0; index < choice->GetCount(); ++index)
        items.push_back(choice->GetString(index).ToStdWstring());
    return items;
}

}  // namespace

DebugPage::DebugPage(PropertyDevicePanel& panel)
    : PropertyPage(panel, pages::debugMessage, panel.m_pageDebug), refreshPeriod_(fill::kDefaultRefreshMs) {
    const wxFont fixed(10, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                       L"Courier New");
    panel.m_debugHistoryMain->SetFont(fixed);
    panel.m_debugHistoryLine->SetFont(fixed);
    panel.m_chart->Show(pref::getBool(setting::debugChart));
    polling_->transfer = panel.m_transfer;
}

void DebugPage::fill() {
    PropertyDevicePanel& p = panel();
    const int mainSash = pref::getInt(setting::debugMainSplitter);
    if (mainSash != -1) p.m_mainSplitter->SetSashPosition(mainSash);
    p.m_historySplitter->SetSashPosition(pref::getInt(setting::debugHistorySplitter));
    const std::wstring period = base::widen(pref::getString(setting::debugRefreshTime));
    p.m_refreshTime->SetStringSelection(period);
    refreshPeriod_ = fill::refreshPeriod(period, choiceItems(p.m_refreshTime));
    p.m_debugLine->Enable(traitsOf(*device()).lineControl);
    start();
    // Until this device's volume is read, the slider shows another's or none: it takes no move.
    volumeRead_ = false;
    p.m_volumeSlider->Disable();
    initVolumeSlider();
}

void DebugPage::leave() {
    // The polling ends with the page, and the mark shows it stopped.
    handleDebugMessage("", false, kStoppedTarget);
    pref::setInt(setting::debugMainSplitter.key, panel().m_mainSplitter->GetSashPosition());
    pref::setInt(setting::debugHistorySplitter.key, panel().m_historySplitter->GetSashPosition());
}

void DebugPage::deviceChanged() {
    // Another device's history starts empty.
    panel().m_debugHistoryMain->Clear();
    panel().m_debugHistoryLine->Clear();
    messages_.clearAll();
}

wxTextCtrl* DebugPage::debugHistory(int target) const {
    return target == 1 ? panel().m_debugHistoryLine : panel().m_debugHistoryMain;
}

void DebugPage::start() {
    PropertyDevicePanel& p = panel();
    polling_->requested = p.m_debugRequest->GetValue();
    if (!p.m_debugLine->IsEnabled() && target_ == 1) {
        wxCommandEvent toggle(wxEVT_TOGGLEBUTTON, p.m_debugMain->GetId());
        toggle.SetEventObject(p.m_debugMain);
        debugTargetOnToggleButton(toggle);
        return;
    }
    startRequestingDebugMessages();
}

void DebugPage::debugMessagesOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::debugMessagesOnCheckBox").trace(L"");
    const bool requested = panel().m_debugRequest->GetValue();
    polling_->requested = requested;
    if (requested) {
        startRequestingDebugMessages();
    } else {
        stopRequestingDebugMessages();
    }
    event.Skip();
}

void DebugPage::startRequestingDebugMessages() {
    debug::Place("frm::PropertyDevicePanel::startRequestingDebugMessages").trace2(L"");
    if (!device()) return;
    polling_->period = refreshPeriod_;
    polling_->target = target_;
    const PageTicket ticket = this->ticket();
    ticket.queue(kPollSlot, L"request debug message", 0,
                 [this, polling = polling_, ticket](const DevicePtr& device) {
                     requestDebugMessage(this, polling, ticket, device);
                 });
    fillConsoleLog();
}

void DebugPage::stopRequestingDebugMessages() {
    panel().pageWork().remove(pages::debugMessage, kPollSlot);
    panel().pageWork().remove(pages::debugMessage, kIndicatorSlot);
    handleDebugMessage("", false, kStoppedTarget);
}

void DebugPage::requestDebugMessage(DebugPage* page, const std::shared_ptr<Polling>& polling,
                                    const PageTicket& ticket, const DevicePtr& device) {
    if (!polling->requested.load() && !polling->once.load()) return;
    const net::IpAndPort address = device->getAddress();
    if (!address.isValid()) return;
    const int target = polling->target.load();
    const unsigned period = polling->period.load();
    polling->transfer->async(
        address, device->debugInfoRequest(target == 1),
        [page, ticket, target](const std::string& reply, bool ok) {
            ticket.show([page, reply, ok, target] { page->handleDebugMessage(reply, ok, target); });
        },
        // The diagnostic text comes as it is, in no answer words.
        0, period / 2, 0, device::RequestQueue::Silence::device, device::RequestQueue::Answer::anyText);
    // The next cycle leaves whether or not this one is answered.
    ticket.queue(kPollSlot, L"request debug message", period, [page, polling, ticket](const DevicePtr& next) {
        requestDebugMessage(page, polling, ticket, next);
    });
}

void DebugPage::handleDebugMessage(const std::string& reply, bool ok, int target) {
    const debug::Place place("frm::PropertyDevicePanel::handleDebugMessage");
    place.trace3(L"");
    PropertyDevicePanel& p = panel();
    if (!device()) {
        place.debug(L"failure to set debug for unbound device.");
        return;
    }
    if (!ok) {
        p.m_debugMark->SetLabel(target == kStoppedTarget ? L"⚪" : L"⚫");
        p.m_debugMark->SetForegroundColour(kMarkFailed);
        p.m_debugMark->Refresh();
        return;
    }
    p.m_debugMark->SetLabel(L"⚫");
    p.m_debugMark->SetForegroundColour(kMarkOk);
    p.m_debugMark->Refresh();
    if (refreshPeriod_ > kBlinkPeriodMs) {
        const PageTicket ticket = this->ticket();
        ticket.queue(kIndicatorSlot, L"set debug idle color", refreshPeriod_ / 4,
                     [&p, ticket](const DevicePtr&) {
                         ticket.show([&p] {
                             p.m_debugMark->SetLabel(L"⚪");
                             p.m_debugMark->Refresh();
                         });
                     });
    }
    if (polling_->once.exchange(false)) stopRequestingDebugMessages();

    wxTextCtrl* history = debugHistory(target);
    const debugpage::Reply read = messages_.take(target, reply);
    if (read.numberingRestarted) place.debug(L"clear debug history data.");
    for (const debugpage::Edit& edit : read.edits) {
        if (edit.trimHead > 0) history->Remove(0, static_cast<long>(edit.trimHead));
        if (edit.removeFrom) history->Remove(static_cast<long>(*edit.removeFrom), history->GetLastPosition());
        for (const debugpage::Run& run : edit.append) {
            if (const auto background = debugpage::markerBackground(run.marker)) {
                history->SetDefaultStyle(
                    wxTextAttr(*wxBLACK, wxColour(background->red, background->green, background->blue)));
            }
            history->AppendText(run.text);
        }
    }
    history->ShowPosition(history->GetLastPosition());
    showDebugText(base::widen(read.plain));
}

void DebugPage::showDebugText(const std::wstring& text) {
    PropertyDevicePanel& p = panel();
    text_ = text;
    wxClientDC measure(p.m_debugTextPanel);
    measure.SetFont(wxFont(10, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
    p.m_debugTextPanel->SetMinSize(measure.GetMultiLineTextExtent(text_));
    p.m_debugTextScroll->FitInside();
    p.m_debugTextScroll->Refresh();
}

void DebugPage::debugTargetOnToggleButton(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::debugTargetOnToggleButton").trace(L"");
    PropertyDevicePanel& p = panel();
    p.m_debugMain->SetValue(false);
    p.m_debugLine->SetValue(false);
    (event.GetEventObject() == p.m_debugLine ? p.m_debugLine : p.m_debugMain)->SetValue(true);
    target_ = p.m_debugMain->GetValue() ? 0 : 1;
    stopRequestingDebugMessages();
    {
        GuiFreezer freezer(p.m_historySplitter);
        p.m_debugHistoryMain->Show(target_ == 0);
        p.m_debugHistoryLine->Show(target_ == 1);
        p.m_historyPanel->Layout();
    }
    if (!p.m_debugRequest->GetValue()) polling_->once = true;
    startRequestingDebugMessages();
}

void DebugPage::refreshTimeOnChoice(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::refreshTimeOnChoice").trace(L"");
    PropertyDevicePanel& p = panel();
    const wxString period = p.m_refreshTime->GetStringSelection();
    pref::setString(setting::debugRefreshTime.key, base::narrow(period.ToStdWstring()));
    p.m_refreshTime->SetStringSelection(period);
    refreshPeriod_ = fill::refreshPeriod(period.ToStdWstring(), choiceItems(p.m_refreshTime));
    polling_->period = refreshPeriod_;
    event.Skip();
}

void DebugPage::chartOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::chartOnCheckBox").trace3(L"");
    PropertyDevicePanel& p = panel();
    const bool chart = p.m_chart->GetValue();
    p.m_mainSplitter->Show(!chart);
    p.m_chartPanel->Show(chart);
    p.m_pageDebug->Layout();
    p.m_pageDebug->Refresh();
    event.Skip();
}

void DebugPage::paintTextOnPanel(wxPaintEvent&) {
    PropertyDevicePanel& p = panel();
    p.m_debugTextPanel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    wxBufferedPaintDC dc(p.m_debugTextPanel);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(wxFont(10, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
    dc.SetTextBackground(*wxWHITE);
    dc.DrawText(text_, 0, 0);
}

void DebugPage::copyOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::copyOnButtonClick").trace(L"");
    event.Skip();
    if (!wxTheClipboard->Open()) return;
    wxTheClipboard->SetData(new wxTextDataObject(text_));
    wxTheClipboard->Close();
}

void DebugPage::clearOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::clearOnButtonClick").trace(L"");
    event.Skip();
    debugHistory(target_)->Clear();
    panel().m_consoleLog->Clear();
    consoleLines_.clear();
    messages_.clear(target_);
}

void DebugPage::listen() {
    // The sniffer may outlive the page in the transport: it reaches the page through a token
    // that dies with it, and only on the GUI thread.
    PropertyDevicePanel& p = panel();
    const std::weak_ptr<bool> alive = alive_;
    const std::weak_ptr<device::DeviceBase> shown = device();
    p.transport().setSniffer(device()->getAddress(), [this, alive, shown](const std::string& text, bool) {
        if (text.compare(0, 3, "ERR") != 0) return;
        GuiThreadInvoker::add([this, alive, shown, text] {
            if (alive.expired() || !device() || device() != shown.lock()) return;
            toConsoleLog(text);
        });
    });
}

void DebugPage::toConsoleLog(const std::string& line) {
    debug::Place("frm::PropertyDevicePanel::toConsoleLog").trace3(L"%1%", line);
    const std::optional<ConsoleLog::Change> change = consoleLines_.take(line);
    if (!change) return;
    if (change->dropHead > 0) panel().m_consoleLog->Remove(0, static_cast<long>(change->dropHead));
    panel().m_consoleLog->AppendText(change->append);
}

void DebugPage::fillConsoleLog() {
    if (consoleLines_.size() == 0) return;
    panel().m_consoleLog->ChangeValue(consoleLines_.text());
    panel().m_consoleLog->SetInsertionPointEnd();
}

void DebugPage::setVolumeOnScrollChanged(wxScrollEvent& event) {
    debug::Place("frm::PropertyDevicePanel::setVolumeOnScrollChanged").trace(L"");
    event.Skip();
    // A move that reaches the panel after its page was left is not sent, nor one made before the
    // slider showed this device's volume.
    if (!device() || panel().currentTab() != pages::debugMessage || !volumeRead_) return;
    // The value the operator set now, for the device shown now: the dispatcher reads no control.
    const int volume = panel().m_volumeSlider->GetValue();
    const PageTicket ticket = this->ticket();
    ticket.queue(kVolumeSlot, L"deferred changing volume", PropertyDevicePanel::kVolumeDelayMs,
                 [this, ticket, volume](const DevicePtr& device) {
                     debug::Place("frm::PropertyDevicePanel::setVolumeOnScrollChanged")
                         .trace(L"a scheduler worked: change volume");
                     device->setVolume(volume);
                     ticket.show([this] { initVolumeSlider(); });
                 });
}

void DebugPage::initVolumeSlider() {
    if (!device() || panel().isShutdown()) return;
    debug::Place("frm::PropertyDevicePanel::initVolumeSlider").trace(L"");
    PropertyDevicePanel& p = panel();
    const int shown = p.m_volumeSlider->GetValue();
    read<std::pair<std::int32_t, std::wstring>>(
        kVolumeReadSlot, L"read the volume",
        [](const DevicePtr& device) { return std::make_pair(device->getVolume(), device->getDisplayName()); },
        [this, &p, shown](const std::pair<std::int32_t, std::wstring>& volume) {
            const bool known = fill::volumeKnown(volume.first);
            // A move of the operator's since the read was asked for stays; before the first read
            // the slider held nothing of this device's.
            if (known && (!volumeRead_ || p.m_volumeSlider->GetValue() == shown))
                p.m_volumeSlider->SetValue(volume.first);
            p.m_volumeSlider->SetToolTip(fill::volumeTip(volume.second, volume.first));
            if (known && !volumeRead_) {
                volumeRead_ = true;
                p.m_volumeSlider->Enable();
            }
        });
}

}  // namespace frm
