#include "propertypanel/pages/PasskeyPage.h"

#include <wx/button.h>

#include <optional>
#include <vector>

#include "app/kit/GuiFreezer.h"
#include "devices/TribelInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PasskeyRules.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/pages/CommonPage.h"

namespace frm {
namespace {

constexpr std::size_t kListSlot = 0;
constexpr std::size_t kCheckSlot = 1;

device::TribelInfo* consoleOf(const PropertyPage::DevicePtr& device) {
    return dynamic_cast<device::TribelInfo*>(device.get());
}

device::TribelInfo& requireConsole(const PropertyPage::DevicePtr& device) {
    device::TribelInfo* console = consoleOf(device);
    debug::throwIfFalse(console != nullptr, "frm::PasskeyPage");
    return *console;
}

// What the console tells of its keys.
struct Keys {
    bool listening = false;
    std::vector<device::TribelInfo::Passkey> keys;
    device::TribelConfig config;
};

}  // namespace

PasskeyPage::PasskeyPage(PropertyDevicePanel& panel)
    : PropertyPage(panel, pages::passkey, panel.m_pagePasskey) {
    // The rows are built by the page; the placeholder leaves the list.
    panel.m_passkeyTemplateRow->Hide();
    panel.m_passkeyRows->Detach(panel.m_passkeyTemplateRow);
    panel.m_passkeyHint->Hide();
}

void PasskeyPage::fill() {
    await();
    refreshPasskeys();
}

void PasskeyPage::refreshPasskeys() {
    if (panel().isShutdown() || !consoleOf(device())) return;
    read<Keys>(
        kListSlot, L"read the access keys",
        [](const DevicePtr& device) {
            device::TribelInfo& console = requireConsole(device);
            Keys keys;
            keys.listening = console.requestPasskeys();
            keys.keys = console.getPasskeys();
            keys.config = console.getConfig(false);
            return keys;
        },
        [this](const Keys& read) {
            PropertyDevicePanel& p = panel();
            ready();
            GuiFreezer freezer(p.m_passkeyList);
            p.m_passkeyRows->Clear(true);
            p.m_passkeyHint->Show(read.listening);
            if (read.listening) {
                checkPasskeyAdding(L"Выполняется проверка ключа");
            } else {
                p.enableCancelButton(false);
            }
            const wxFont font(11, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                              L"Courier New");
            for (std::size_t index = 0; index < read.keys.size(); ++index) {
                const passkey::KeyRow view = passkey::keyRow(index + 1, read.keys[index].key);
                auto* row = new wxPanel(p.m_passkeyList, wxID_ANY);
                auto* sizer = new wxBoxSizer(wxHORIZONTAL);
                auto* number = new wxStaticText(row, wxID_ANY, view.number);
                number->SetFont(font);
                sizer->Add(number, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
                sizer->Add(new wxStaticText(row, wxID_ANY, view.key), 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
                auto* name = new wxTextCtrl(row, wxID_ANY, view.name);
                name->Disable();
                sizer->Add(name, 1, wxALIGN_CENTER_VERTICAL | wxALL, 2);
                auto* remove = new wxButton(row, wxID_ANY, L"Удалить");
                remove->SetClientObject(new wxStringClientData(read.keys[index].key));
                remove->Bind(wxEVT_BUTTON, &PasskeyPage::deletePasskeyOnButtonClick, this);
                sizer->Add(remove, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
                row->SetSizer(sizer);
                row->Layout();
                row->Fit();
                p.m_passkeyRows->Add(row, 0, wxEXPAND);
            }
            p.m_resetPasskeys->Enable(!read.keys.empty());
            p.m_accessControl->Enable(!read.keys.empty());
            setAccessControl(passkey::accessControl(read.config.passkey, read.keys.size()), read.config);
            p.m_passkeyList->FitInside();
            p.m_pagePasskey->Layout();
        });
}

void PasskeyPage::checkPasskeyAdding(const wchar_t* name) {
    queueCheck(this, ticket(), name);
}

void PasskeyPage::queueCheck(PasskeyPage* page, const PageTicket& ticket, const wchar_t* name) {
    // One slot: a check queued again replaces the one that waits.
    ticket.queue(kCheckSlot, name, kCheckMs, [page, ticket](const DevicePtr& device) {
        device::TribelInfo* console = consoleOf(device);
        if (console == nullptr) return;
        if (console->requestPasskeys()) {
            queueCheck(page, ticket, L"Выполняется проверка ключа");
        } else {
            ticket.show([page] { page->refreshPasskeys(); });
        }
    });
}

void PasskeyPage::leave() {
    if (!consoleOf(device())) return;
    send(L"end learning a key", [](const DevicePtr& device) {
        device::TribelInfo& console = requireConsole(device);
        if (console.requestPasskeys()) console.finishPasskey();
    });
}

void PasskeyPage::endLearning() {
    if (!consoleOf(device())) return;
    const PageTicket ticket = this->ticket();
    send(L"end learning a key", [this, ticket](const DevicePtr& device) {
        device::TribelInfo& console = requireConsole(device);
        if (!console.requestPasskeys()) return;
        console.finishPasskey();
        ticket.show([this] { refreshPasskeys(); });
    });
}

void PasskeyPage::addPasskeyOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::addPasskeyOnButtonClick").trace(L"");
    if (!consoleOf(device())) return;
    write<bool>(
        L"learn a key",
        [](const DevicePtr& device) {
            requireConsole(device).addPasskey();
            return true;
        },
        [this](const bool&) {
            PropertyDevicePanel& p = panel();
            p.m_passkeyHint->Show();
            checkPasskeyAdding(L"Добавление ключа");
            p.enableCancelButton(true);
            p.m_pagePasskey->Layout();
        });
}

void PasskeyPage::resetPasskeysOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::resetPasskeysOnButtonClick").trace(L"");
    if (!consoleOf(device())) return;
    write<bool>(
        L"delete every key",
        [](const DevicePtr& device) {
            requireConsole(device).resetPasskeys();
            return true;
        },
        [this](const bool&) {
            // The rows shown are gone: the page takes nothing until the list is read again.
            fill();
            debug::Place("frm::PropertyDevicePanel::resetPasskeysOnButtonClick").notice(L"Успешно выполнено");
        });
}

void PasskeyPage::deletePasskeyOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::deletePasskeyOnButtonClick").trace(L"");
    if (!acts()) return;
    auto* button = dynamic_cast<wxButton*>(event.GetEventObject());
    debug::throwIfFalse(button != nullptr, "frm::PropertyDevicePanel::deletePasskeyOnButtonClick");
    button->Disable();
    const auto* key = dynamic_cast<const wxStringClientData*>(button->GetClientObject());
    debug::throwIfFalse(key != nullptr, "frm::PropertyDevicePanel::deletePasskeyOnButtonClick");
    if (!consoleOf(device())) return;
    // The row of this button is rebuilt once its handler has returned.
    write<bool>(
        L"delete a key",
        [text = key->GetData().ToStdString()](const DevicePtr& device) {
            requireConsole(device).deletePasskey(text);
            return true;
        },
        [this](const bool&) {
            debug::Place("frm::PropertyDevicePanel::deletePasskeyOnButtonClick").notice(L"Успешно выполнено");
            fill();
        });
}

void PasskeyPage::accessControlOnToggleButton(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::accessControlOnToggleButton").trace(L"");
    setAccessControl(panel().m_accessControl->GetValue());
}

void PasskeyPage::setAccessControl(bool on, const std::optional<device::TribelConfig>& known) {
    if (!consoleOf(device()) || (known && known->passkey == on)) {
        showAccessControl(on);
        return;
    }
    write<std::optional<device::TribelConfig>>(
        L"write the access control",
        [on](const DevicePtr& device) -> std::optional<device::TribelConfig> {
            device::TribelInfo& console = requireConsole(device);
            device::TribelConfig config = console.getConfig(false);
            if (config.passkey == on) return std::nullopt;
            config.passkey = on;
            console.setConfig(config);
            return console.getConfig(false);
        },
        [this, on](const std::optional<device::TribelConfig>& written) {
            if (written) panel().m_common->showFireConsoleWarning(*written, true);
            showAccessControl(on);
        });
}

void PasskeyPage::showAccessControl(bool on) {
    PropertyDevicePanel& p = panel();
    p.m_accessControl->SetValue(on);
    p.m_accessControl->SetLabel(passkey::accessLabel(on));
    const wxColour background = on ? wxNullColour : wxColour(255, 0, 0);
    p.m_accessControlPanel->SetBackgroundColour(background);
    p.m_accessControlPanel->SetOwnBackgroundColour(background);
    p.Refresh();
}

}  // namespace frm
