// The debug messages page: polling the device's diagnostic text, its numbered and colour-marked
// history, the painted plain block, copy and clear; and the error lines the device sends of its
// own accord, collected whichever page is shown.

#include <wx/clipbrd.h>
#include <wx/dcbuffer.h>
#include <wx/thread.h>

#include "app/kit/GuiFreezer.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"
#include "foundation/SettingKeys.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

const wxColour kMarkOk(3, 192, 60);
const wxColour kMarkFailed(255, 0, 0);
// The mark turns back to idle after each answer only when answers are far enough apart to see
// it blink.
constexpr unsigned kBlinkPeriodMs = 350;

}  // namespace

wxTextCtrl* PropertyDevicePanel::debugHistory(int target) const {
    return target == 1 ? m_debugHistoryLine : m_debugHistoryMain;
}

void PropertyDevicePanel::startDebugPage() {
    m_debugPolling->requested = m_debugRequest->GetValue();
    if (!m_debugLine->IsEnabled() && m_debugTarget == 1) {
        wxCommandEvent toggle(wxEVT_TOGGLEBUTTON, m_debugMain->GetId());
        toggle.SetEventObject(m_debugMain);
        debugTargetOnToggleButton(toggle);
        return;
    }
    startRequestingDebugMessages();
}

void PropertyDevicePanel::debugMessagesOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::debugMessagesOnCheckBox").trace(L"");
    m_debugPolling->requested = m_debugRequest->GetValue();
    if (m_debugRequest->GetValue()) {
        startRequestingDebugMessages();
    } else {
        stopRequestingDebugMessages();
    }
    event.Skip();
}

void PropertyDevicePanel::startRequestingDebugMessages() {
    debug::Place("frm::PropertyDevicePanel::startRequestingDebugMessages").trace2(L"");
    if (!m_device) return;
    m_debugPolling->period = m_refreshPeriod;
    m_debugPolling->target = m_debugTarget;
    const PageTicket ticket = m_work.ticket(m_device, pages::debugMessage);
    ticket.queue(kDebugPollSlot, L"request debug message", 0,
                 [this, polling = m_debugPolling, ticket](const DevicePtr& device) {
                     requestDebugMessage(this, polling, ticket, device);
                 });
    fillConsoleLog();
}

void PropertyDevicePanel::stopRequestingDebugMessages() {
    m_work.remove(pages::debugMessage, kDebugPollSlot);
    m_work.remove(pages::debugMessage, kDebugIndicatorSlot);
    handleDebugMessage("", false, kStoppedTarget);
}

void PropertyDevicePanel::requestDebugMessage(PropertyDevicePanel* panel,
                                              const std::shared_ptr<DebugPolling>& polling,
                                              const PageTicket& ticket, const DevicePtr& device) {
    if (!polling->requested.load() && !polling->once.load()) return;
    const net::IpAndPort address = device->getAddress();
    if (!address.isValid()) return;
    const int target = polling->target.load();
    const unsigned period = polling->period.load();
    polling->transfer->async(
        address, device->debugInfoRequest(target == 1),
        [panel, ticket, target](const std::string& reply, bool ok) {
            ticket.show([panel, reply, ok, target] { panel->handleDebugMessage(reply, ok, target); });
        },
        0, period / 2);
    // The next cycle leaves whether or not this one is answered.
    ticket.queue(kDebugPollSlot, L"request debug message", period,
                 [panel, polling, ticket](const DevicePtr& next) {
                     requestDebugMessage(panel, polling, ticket, next);
                 });
}

void PropertyDevicePanel::handleDebugMessage(const std::string& reply, bool ok, int target) {
    const debug::Place place("frm::PropertyDevicePanel::handleDebugMessage");
    place.trace3(L"");
    if (!m_device) {
        place.debug(L"failure to set debug for unbound device.");
        return;
    }
    if (!ok) {
        m_debugMark->SetLabel(target == kStoppedTarget ? L"⚪" : L"⚫");
        m_debugMark->SetForegroundColour(kMarkFailed);
        m_debugMark->Refresh();
        return;
    }
    m_debugMark->SetLabel(L"⚫");
    m_debugMark->SetForegroundColour(kMarkOk);
    m_debugMark->Refresh();
    if (m_refreshPeriod > kBlinkPeriodMs) {
        const PageTicket ticket = m_work.ticket(m_device, pages::debugMessage);
        ticket.queue(kDebugIndicatorSlot, L"set debug idle color", m_refreshPeriod / 4,
                     [this, ticket](const DevicePtr&) {
                         ticket.show([this] {
                             m_debugMark->SetLabel(L"⚪");
                             m_debugMark->Refresh();
                         });
                     });
    }
    if (m_debugPolling->once.exchange(false)) stopRequestingDebugMessages();

    wxTextCtrl* history = debugHistory(target);
    const debugpage::Reply read = m_debugMessages.take(target, reply);
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

void PropertyDevicePanel::showDebugText(const std::wstring& text) {
    m_debugText = text;
    wxClientDC measure(m_debugTextPanel);
    measure.SetFont(wxFont(10, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
    m_debugTextPanel->SetMinSize(measure.GetMultiLineTextExtent(m_debugText));
    m_debugTextScroll->FitInside();
    m_debugTextScroll->Refresh();
}

void PropertyDevicePanel::debugTargetOnToggleButton(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::debugTargetOnToggleButton").trace(L"");
    m_debugMain->SetValue(false);
    m_debugLine->SetValue(false);
    (event.GetEventObject() == m_debugLine ? m_debugLine : m_debugMain)->SetValue(true);
    m_debugTarget = m_debugMain->GetValue() ? 0 : 1;
    stopRequestingDebugMessages();
    {
        GuiFreezer freezer(m_historySplitter);
        m_debugHistoryMain->Show(m_debugTarget == 0);
        m_debugHistoryLine->Show(m_debugTarget == 1);
        m_historyPanel->Layout();
    }
    if (!m_debugRequest->GetValue()) m_debugPolling->once = true;
    startRequestingDebugMessages();
}

void PropertyDevicePanel::refreshTimeOnChoice(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::refreshTimeOnChoice").trace(L"");
    const wxString period = m_refreshTime->GetStringSelection();
    pref::setString(setting::debugRefreshTime.key, base::narrow(period.ToStdWstring()));
    m_refreshTime->SetStringSelection(period);
    std::vector<std::wstring> offered;
    for (unsigned item = 0; item < m_refreshTime->GetCount(); ++item)
        offered.push_back(m_refreshTime->GetString(item).ToStdWstring());
    m_refreshPeriod = fill::refreshPeriod(period.ToStdWstring(), offered);
    m_debugPolling->period = m_refreshPeriod;
    event.Skip();
}

void PropertyDevicePanel::chartOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::chartOnCheckBox").trace3(L"");
    const bool chart = m_chart->GetValue();
    m_mainSplitter->Show(!chart);
    m_chartPanel->Show(chart);
    m_pageDebug->Layout();
    m_pageDebug->Refresh();
    event.Skip();
}

void PropertyDevicePanel::paintTextOnPanel(wxPaintEvent&) {
    m_debugTextPanel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    wxBufferedPaintDC dc(m_debugTextPanel);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(wxFont(10, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
    dc.SetTextBackground(*wxWHITE);
    dc.DrawText(m_debugText, 0, 0);
}

void PropertyDevicePanel::copyOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::copyOnButtonClick").trace(L"");
    event.Skip();
    if (!wxTheClipboard->Open()) return;
    wxTheClipboard->SetData(new wxTextDataObject(m_debugText));
    wxTheClipboard->Close();
}

void PropertyDevicePanel::clearOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::clearOnButtonClick").trace(L"");
    event.Skip();
    debugHistory(m_debugTarget)->Clear();
    m_consoleLog->Clear();
    m_consoleLines.clear();
    m_debugMessages.clear(m_debugTarget);
}

void PropertyDevicePanel::listenToDevice() {
    // The sniffer may outlive the panel in the transport: it reaches the panel through a token
    // that dies with it, and only on the GUI thread.
    const std::weak_ptr<bool> alive = m_alive;
    const std::weak_ptr<device::DeviceBase> shown = m_device;
    m_transfer->setSniffer(m_device->getAddress(), [this, alive, shown](const std::string& text, bool) {
        if (text.compare(0, 3, "ERR") != 0) return;
        GuiThreadInvoker::add([this, alive, shown, text] {
            if (alive.expired() || !m_device || m_device != shown.lock()) return;
            toConsoleLog(text);
        });
    });
}

void PropertyDevicePanel::toConsoleLog(const std::string& line) {
    debug::Place("frm::PropertyDevicePanel::toConsoleLog").trace3(L"%1%", line);
    const std::optional<ConsoleLog::Change> change = m_consoleLines.take(line);
    if (!change) return;
    if (change->dropHead > 0) m_consoleLog->Remove(0, static_cast<long>(change->dropHead));
    m_consoleLog->AppendText(change->append);
}

void PropertyDevicePanel::fillConsoleLog() {
    if (m_consoleLines.size() == 0) return;
    m_consoleLog->ChangeValue(m_consoleLines.text());
    m_consoleLog->SetInsertionPointEnd();
}

}  // namespace frm
