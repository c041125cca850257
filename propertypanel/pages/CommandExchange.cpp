#include "propertypanel/pages/CommandExchange.h"

#include <wx/button.h>
#include <wx/weakref.h>

#include "app/kit/CmdSuiteDialog.h"
#include "app/kit/Questions.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/TextConversion.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

// The panel height below which the saved commands give their room to the reply.
constexpr int kSavedCommandsHeight = 452;
// How the answer is waited for: the priority and the interval of a request typed by the operator.
constexpr int kDirectPriority = 2;
constexpr unsigned kDirectIntervalMs = 250;

}  // namespace

CommandExchange::CommandExchange(PropertyDevicePanel& panel) : panel_(panel) {
    if (!panel.debugMode()) panel.m_directExchangePanel->Hide();
    // One handler serves both exchange buttons: each names its own command box.
    panel.m_exchange->SetClientData(panel.m_command);
    panel.m_debugExchange->SetClientData(panel.m_debugCommand);
}

void CommandExchange::buttonDebugExchangeOnClick(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::buttonDebugExchangeOnClick");
    place.trace(L"");
    auto* button = dynamic_cast<wxButton*>(event.GetEventObject());
    auto* box = button ? static_cast<wxTextCtrl*>(button->GetClientData()) : nullptr;
    if (box == nullptr) {
        place.warn(L"Ошибка данных.");
        return;
    }
    transferDirectRequest(base::narrow(box->GetValue().ToStdWstring()));
}

void CommandExchange::textDebugExchangeOnPress(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::textDebugExchangeOnPress");
    place.trace(L"");
    auto* box = dynamic_cast<wxTextCtrl*>(event.GetEventObject());
    if (box == nullptr) {
        place.warn(L"Ошибка данных.");
        return;
    }
    transferDirectRequest(base::narrow(box->GetValue().ToStdWstring()));
}

void CommandExchange::transferDirectRequest(const std::string& command) {
    const debug::Place place("frm::PropertyDevicePanel::transferDirectRequest");
    place.trace(L"%1%", command);
    const auto& device = panel_.shownDevice();
    if (!device) {
        place.warn(L"Internal error (active button)");
        return;
    }
    const int page = panel_.currentTab();
    wxTextCtrl* box = page == pages::common ? panel_.m_reply : panel_.m_debugReply;
    const PageTicket ticket = panel_.pageWork().ticket(device, page);
    panel_.transport().async(
        device->getAddress(), command,
        [ticket, box](const std::string& reply, bool ok) {
            // An unanswered command leaves the reply empty.
            const std::wstring shown = ok ? base::widen(base::trimmed(reply)) : std::wstring();
            ticket.show([box, shown] { box->ChangeValue(shown); });
        },
        kDirectPriority, kDirectIntervalMs, 0, device::RequestQueue::Silence::device,
        // Whatever the operator typed, the device may answer in text of any kind.
        device::RequestQueue::Answer::anyText);
}

void CommandExchange::addCommandOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::addCommandOnButtonClick").trace(L"");
    addCommandRow(panel_.m_command->GetValue().ToStdWstring());
    fitCommandList();
}

void CommandExchange::fitCommandList() {
    panel_.m_commandList->FitInside();
    panel_.m_commandList->Layout();
    panel_.m_directExchangePanel->Layout();
}

void CommandExchange::addCommandRow(const std::wstring& command) {
    auto* row = new wxPanel(panel_.m_commandList);
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    auto* box =
        new wxTextCtrl(row, wxID_ANY, command, wxDefaultPosition, wxSize(250, -1), wxTE_PROCESS_ENTER);
    box->Bind(wxEVT_TEXT_ENTER, &CommandExchange::textDebugExchangeOnPress, this);
    sizer->Add(box, 1, wxALL, 5);
    const auto button = [&](const wchar_t* label, void* data,
                            void (CommandExchange::*handler)(wxCommandEvent&)) {
        auto* made = new wxButton(row, wxID_ANY, label, wxDefaultPosition, wxSize(30, -1), wxBU_EXACTFIT);
        made->SetClientData(data);
        made->Bind(wxEVT_BUTTON, handler, this);
        sizer->Add(made, 0, wxALIGN_CENTER | wxALL, 5);
    };
    button(L">", box, &CommandExchange::buttonDebugExchangeOnClick);
    button(L"-", row, &CommandExchange::removeStrSizerOnClick);
    row->SetSizerAndFit(sizer);
    panel_.m_command->ChangeValue(wxEmptyString);
    panel_.m_commandRows->Insert(0, row, 0, wxEXPAND | wxALL, 5);
}

void CommandExchange::removeStrSizerOnClick(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::removeStrSizerOnClick");
    place.trace(L"");
    auto* button = dynamic_cast<wxButton*>(event.GetEventObject());
    auto* row = button ? static_cast<wxWindow*>(button->GetClientData()) : nullptr;
    if (row == nullptr) {
        place.warn(L"Ошибка данных.");
        return;
    }
    // The button belongs to the row: the row goes once its handler has returned.
    panel_.CallAfter([this, gone = wxWeakRef<wxWindow>(row)] {
        if (!gone) return;
        gone->Destroy();
        fitCommandList();
    });
}

std::vector<std::wstring> CommandExchange::getCommandList() const {
    std::vector<std::wstring> commands;
    for (const wxWindow* row : panel_.m_commandList->GetChildren()) {
        for (const wxWindow* child : row->GetChildren()) {
            if (const auto* box = dynamic_cast<const wxTextCtrl*>(child))
                commands.push_back(box->GetValue().ToStdWstring());
        }
    }
    if (!panel_.m_command->IsEmpty()) commands.push_back(panel_.m_command->GetValue().ToStdWstring());
    return commands;
}

void CommandExchange::fillCommandList(const std::vector<std::wstring>& commands) {
    for (const std::wstring& command : commands) addCommandRow(command);
    fitCommandList();
}

void CommandExchange::clearCommandList() {
    panel_.m_command->ChangeValue(wxEmptyString);
    panel_.m_reply->ChangeValue(wxEmptyString);
    while (panel_.m_commandRows->GetItemCount() > 0) {
        wxWindow* row = panel_.m_commandRows->GetItem(std::size_t{0})->GetWindow();
        panel_.m_commandRows->Detach(0);
        if (row) row->Destroy();
    }
    auto* placeholder = new wxPanel(panel_.m_commandList);
    placeholder->SetSizer(new wxBoxSizer(wxHORIZONTAL));
    panel_.m_commandRows->Add(placeholder, 0, wxEXPAND | wxALL, 5);
    fitCommandList();
}

void CommandExchange::commandSuiteOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::commandSuiteOnButtonClick").trace(L"");
    CmdSuiteDialog dialog(
        &panel_, panel_.questions(), [this] { return getCommandList(); },
        [this](const std::vector<std::wstring>& commands) { fillCommandList(commands); },
        [this] { clearCommandList(); });
    panel_.questions().showModal(dialog);
}

void CommandExchange::OnSize(wxSizeEvent& event) {
    event.Skip();
    const bool room = event.GetSize().GetHeight() >= kSavedCommandsHeight;
    panel_.m_commandList->Show(room);
    panel_.m_addCommand->Show(room);
    panel_.Layout();
}

}  // namespace frm
