// The direct command exchange of the common and the debug page, and the saved commands of the
// common page with their suites.

#include <wx/button.h>
#include <wx/weakref.h>

#include <cctype>

#include "app/kit/CmdSuiteDialog.h"
#include "app/kit/Questions.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

// The panel height below which the saved commands give their room to the reply.
constexpr int kSavedCommandsHeight = 452;

std::string trimmed(const std::string& text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

void PropertyDevicePanel::buttonDebugExchangeOnClick(wxCommandEvent& event) {
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

void PropertyDevicePanel::textDebugExchangeOnPress(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::textDebugExchangeOnPress");
    place.trace(L"");
    auto* box = dynamic_cast<wxTextCtrl*>(event.GetEventObject());
    if (box == nullptr) {
        place.warn(L"Ошибка данных.");
        return;
    }
    transferDirectRequest(base::narrow(box->GetValue().ToStdWstring()));
}

void PropertyDevicePanel::transferDirectRequest(const std::string& command) {
    const debug::Place place("frm::PropertyDevicePanel::transferDirectRequest");
    place.trace(L"%1%", command);
    if (!m_device) {
        place.warn(L"Internal error (active button)");
        return;
    }
    std::string reply;
    // An unanswered command leaves the reply empty.
    if (!m_transfer->sync(m_device->getAddress(), command, reply, 2, 250)) reply.clear();
    wxTextCtrl* box = m_currentTab == pages::common ? m_reply : m_debugReply;
    box->ChangeValue(base::widen(trimmed(reply)));
}

void PropertyDevicePanel::addCommandOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::addCommandOnButtonClick").trace(L"");
    addCommandRow(m_command->GetValue().ToStdWstring());
    fitCommandList();
}

void PropertyDevicePanel::fitCommandList() {
    m_commandList->FitInside();
    m_commandList->Layout();
    m_directExchangePanel->Layout();
}

void PropertyDevicePanel::addCommandRow(const std::wstring& command) {
    auto* row = new wxPanel(m_commandList);
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    auto* box =
        new wxTextCtrl(row, wxID_ANY, command, wxDefaultPosition, wxSize(250, -1), wxTE_PROCESS_ENTER);
    box->Bind(wxEVT_TEXT_ENTER, &PropertyDevicePanel::textDebugExchangeOnPress, this);
    sizer->Add(box, 1, wxALL, 5);
    const auto button = [&](const wchar_t* label, void* data,
                            void (PropertyDevicePanel::*handler)(wxCommandEvent&)) {
        auto* made = new wxButton(row, wxID_ANY, label, wxDefaultPosition, wxSize(30, -1), wxBU_EXACTFIT);
        made->SetClientData(data);
        made->Bind(wxEVT_BUTTON, handler, this);
        sizer->Add(made, 0, wxALIGN_CENTER | wxALL, 5);
    };
    button(L">", box, &PropertyDevicePanel::buttonDebugExchangeOnClick);
    button(L"-", row, &PropertyDevicePanel::removeStrSizerOnClick);
    row->SetSizerAndFit(sizer);
    m_command->ChangeValue(wxEmptyString);
    m_commandRows->Insert(0, row, 0, wxEXPAND | wxALL, 5);
}

void PropertyDevicePanel::removeStrSizerOnClick(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::removeStrSizerOnClick");
    place.trace(L"");
    auto* button = dynamic_cast<wxButton*>(event.GetEventObject());
    auto* row = button ? static_cast<wxWindow*>(button->GetClientData()) : nullptr;
    if (row == nullptr) {
        place.warn(L"Ошибка данных.");
        return;
    }
    // The button belongs to the row: the row goes once its handler has returned.
    CallAfter([this, gone = wxWeakRef<wxWindow>(row)] {
        if (!gone) return;
        gone->Destroy();
        fitCommandList();
    });
}

std::vector<std::wstring> PropertyDevicePanel::getCommandList() const {
    std::vector<std::wstring> commands;
    for (const wxWindow* row : m_commandList->GetChildren()) {
        for (const wxWindow* child : row->GetChildren()) {
            if (const auto* box = dynamic_cast<const wxTextCtrl*>(child))
                commands.push_back(box->GetValue().ToStdWstring());
        }
    }
    if (!m_command->IsEmpty()) commands.push_back(m_command->GetValue().ToStdWstring());
    return commands;
}

void PropertyDevicePanel::fillCommandList(const std::vector<std::wstring>& commands) {
    for (const std::wstring& command : commands) addCommandRow(command);
    fitCommandList();
}

void PropertyDevicePanel::clearCommandList() {
    m_command->ChangeValue(wxEmptyString);
    m_reply->ChangeValue(wxEmptyString);
    while (m_commandRows->GetItemCount() > 0) {
        wxWindow* row = m_commandRows->GetItem(std::size_t{0})->GetWindow();
        m_commandRows->Detach(0);
        if (row) row->Destroy();
    }
    auto* placeholder = new wxPanel(m_commandList);
    placeholder->SetSizer(new wxBoxSizer(wxHORIZONTAL));
    m_commandRows->Add(placeholder, 0, wxEXPAND | wxALL, 5);
    fitCommandList();
}

void PropertyDevicePanel::commandSuiteOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::commandSuiteOnButtonClick").trace(L"");
    CmdSuiteDialog dialog(
        this, m_questions, [this] { return getCommandList(); },
        [this](const std::vector<std::wstring>& commands) { fillCommandList(commands); },
        [this] { clearCommandList(); });
    m_questions.showModal(dialog);
}

void PropertyDevicePanel::OnSize(wxSizeEvent& event) {
    event.Skip();
    const bool room = event.GetSize().GetHeight() >= kSavedCommandsHeight;
    m_commandList->Show(room);
    m_addCommand->Show(room);
    Layout();
}

}  // namespace frm
