// The access keys of a console: its key list, learning a key from its reader, deleting keys and
// the access-control switch.

#include <wx/button.h>
#include <wx/thread.h>

#include "app/kit/GuiFreezer.h"
#include "devices/TribelInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PasskeyPage.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

void PropertyDevicePanel::refreshPasskeys() {
    if (m_isShutdown) return;
    if (!wxThread::IsMain()) {
        m_work.onGui([this] { refreshPasskeys(); });
        return;
    }
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    if (!console) return;
    GuiFreezer freezer(m_passkeyList);
    m_passkeyRows->Clear(true);
    const bool listening = console->requestPasskeys();
    m_passkeyHint->Show(listening);
    if (listening) {
        checkPasskeyAdding(L"Выполняется проверка ключа");
    } else {
        m_cancel->Disable();
    }
    const std::vector<device::TribelInfo::Passkey> keys = console->getPasskeys();
    const wxFont font(11, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                      L"Courier New");
    for (std::size_t index = 0; index < keys.size(); ++index) {
        const passkey::KeyRow view = passkey::keyRow(index + 1, keys[index].key);
        auto* row = new wxPanel(m_passkeyList, wxID_ANY);
        auto* sizer = new wxBoxSizer(wxHORIZONTAL);
        auto* number = new wxStaticText(row, wxID_ANY, view.number);
        number->SetFont(font);
        sizer->Add(number, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
        sizer->Add(new wxStaticText(row, wxID_ANY, view.key), 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
        auto* name = new wxTextCtrl(row, wxID_ANY, view.name);
        name->Disable();
        sizer->Add(name, 1, wxALIGN_CENTER_VERTICAL | wxALL, 2);
        auto* remove = new wxButton(row, wxID_ANY, L"Удалить");
        remove->SetClientObject(new wxStringClientData(keys[index].key));
        remove->Bind(wxEVT_BUTTON, &PropertyDevicePanel::deletePasskeyOnButtonClick, this);
        sizer->Add(remove, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
        row->SetSizer(sizer);
        row->Layout();
        row->Fit();
        m_passkeyRows->Add(row, 0, wxEXPAND);
    }
    const device::TribelConfig config = console->getConfig(false);
    m_resetPasskeys->Enable(!keys.empty());
    m_accessControl->Enable(!keys.empty());
    setAccessControl(passkey::accessControl(config.passkey, keys.size()));
    m_passkeyList->FitInside();
    m_pagePasskey->Layout();
}

void PropertyDevicePanel::checkPasskeyAdding(const wchar_t* name) {
    const PageTicket ticket = m_work.ticket(m_device, pages::passkey);
    queuePasskeyCheck(ticket, name);
}

void PropertyDevicePanel::queuePasskeyCheck(const PageTicket& ticket, const wchar_t* name) {
    // One slot: a check queued again replaces the one that waits.
    ticket.queue(kPasskeyCheckSlot, name, kPasskeyCheckMs, [this, ticket](const DevicePtr& device) {
        const auto console = std::dynamic_pointer_cast<device::TribelInfo>(device);
        if (!console) return;
        if (console->requestPasskeys()) {
            queuePasskeyCheck(ticket, L"Выполняется проверка ключа");
        } else {
            ticket.show([this] { refreshPasskeys(); });
        }
    });
}

void PropertyDevicePanel::addPasskeyOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::addPasskeyOnButtonClick").trace(L"");
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    if (!console) return;
    console->addPasskey();
    m_passkeyHint->Show();
    checkPasskeyAdding(L"Добавление ключа");
    m_cancel->Enable();
    m_pagePasskey->Layout();
}

void PropertyDevicePanel::resetPasskeysOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::resetPasskeysOnButtonClick");
    place.trace(L"");
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    if (!console) return;
    console->resetPasskeys();
    refreshPasskeys();
    place.notice(L"Успешно выполнено");
}

void PropertyDevicePanel::deletePasskeyOnButtonClick(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::deletePasskeyOnButtonClick");
    place.trace(L"");
    auto* button = dynamic_cast<wxButton*>(event.GetEventObject());
    debug::throwIfFalse(button != nullptr, "frm::PropertyDevicePanel::deletePasskeyOnButtonClick");
    button->Disable();
    const auto* key = dynamic_cast<const wxStringClientData*>(button->GetClientObject());
    debug::throwIfFalse(key != nullptr, "frm::PropertyDevicePanel::deletePasskeyOnButtonClick");
    const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device);
    if (!console) return;
    console->deletePasskey(key->GetData().ToStdString());
    place.notice(L"Успешно выполнено");
    // The row of this button is rebuilt once its handler has returned.
    m_work.ticket(m_device, pages::passkey).show([this] { refreshPasskeys(); });
}

void PropertyDevicePanel::accessControlOnToggleButton(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::accessControlOnToggleButton").trace(L"");
    setAccessControl(m_accessControl->GetValue());
}

void PropertyDevicePanel::setAccessControl(bool on) {
    if (const auto console = std::dynamic_pointer_cast<device::TribelInfo>(m_device)) {
        device::TribelConfig config = console->getConfig(false);
        if (config.passkey != on) {
            config.passkey = on;
            console->setConfig(config);
            checkTribelConfig(true);
        }
    }
    m_accessControl->SetValue(on);
    m_accessControl->SetLabel(passkey::accessLabel(on));
    const wxColour background = on ? wxNullColour : wxColour(255, 0, 0);
    m_accessControlPanel->SetBackgroundColour(background);
    m_accessControlPanel->SetOwnBackgroundColour(background);
    Refresh();
}

}  // namespace frm
