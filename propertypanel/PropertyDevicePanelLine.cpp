// The line page: the loudspeaker's line-control module with its end devices, refreshed every
// 2.1 s while the page is shown.

#include <wx/button.h>

#include "app/kit/GuiFreezer.h"
#include "devices/LineControl.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/LineControlPage.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

// The first loudspeaker generation with a line-control module.
constexpr std::int32_t kLineControlVersion = 9;
// "Vokar-B": the loudspeakers whose module may be restarted from here.
constexpr device::DeviceType kVokarB = 0x500004;

wxColour colourOf(line::Colour colour) {
    switch (colour) {
        case line::Colour::green:
            return wxColour(120, 234, 110);
        case line::Colour::red:
            return wxColour(255, 84, 81);
        case line::Colour::yellow:
            break;
    }
    return wxColour(255, 216, 0);
}

// The end device a row's button stands for.
class TipDeviceData : public wxClientData {
public:
    explicit TipDeviceData(device::tip_device::TipDevice device) : device(std::move(device)) {}
    const device::tip_device::TipDevice device;
};

// What the module made of an operation, told to the operator.
void report(const debug::Place& place, bool done) {
    if (done) {
        place.notice(L"Успешно выполнено");
    } else {
        place.error(L"Произошла ошибка во время выполнения");
    }
}

}  // namespace

void PropertyDevicePanel::refreshTipDevices(bool withVersion) {
    const debug::Place place("frm::PropertyDevicePanel::refreshTipDevices");
    if (m_isShutdown || !m_device) return;
    if (m_tipDevicesBlocked) {
        place.debug(L"Skip refreshing of the tip devices, because set a blocking.");
        // The chain goes on: the next run finds the button released.
        queueTipRefresh();
        return;
    }
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    if (!vokar) {
        place.important(L"Got an unexpected device, id=%1%", m_device->getId());
        return;
    }
    m_tipDevicesBlocked = true;
    struct Unblock {
        bool& blocked;
        ~Unblock() { blocked = false; }
    } unblock{m_tipDevicesBlocked};
    place.trace2(L"PropertyDevicePanel::refreshTipDevices(): begin");
    wxWindow* group = m_tipBox->GetStaticBox();
    if (!vokar->isOnlineAndResponding() || vokar->getVersionId() < kLineControlVersion) {
        place.debug(L"Device is unavailable");
        m_tipRows->Clear(true);
        group->Disable();
        m_tipStatus->SetLabel(L"Устройство недоступно");
        m_tipStatus->Show();
        m_pageLine->Layout();
        return;
    }
    group->Enable();
    queueTipRefresh();

    const auto lineControl = vokar->getLineControl();
    if (withVersion || lineControl->getAddress().empty()) {
        debug::Place("device::tip_device::LineControl::getMasterHardwareAddress")
            .debug(L"Request master hardware address.");
        lineControl->initVersionAndAddress();
    }
    const wxString version =
        line::versionLine(lineControl->getMasterFirmwareVersion(), lineControl->getAddress());
    if (m_tipVersion->GetLabel() != version) m_tipVersion->SetLabel(version);
    m_tipVersion->Show();

    using device::tip_device::LineControl;
    if (lineControl->getState() == LineControl::notRead) lineControl->requestTipDevices();
    if (lineControl->getState() == LineControl::notRead) lineControl->requestTipDevices();
    const std::uint32_t mode = lineControl->getPowerSaveMode();
    if (lineControl->getState() != LineControl::active) lineControl->requestTipDevices();
    const LineControl::State state = lineControl->getState();
    const line::Buttons buttons = line::buttons(state, mode, vokar->isType(kVokarB), m_debugMode);
    m_powerSave->Enable(buttons.powerSaveEnabled);
    m_tipAddAll->Enable(buttons.addAllEnabled);
    m_tipRemoveAll->Enable(buttons.removeAllEnabled);
    m_tipReboot->Enable(buttons.rebootEnabled);
    m_tipReboot->Show(buttons.rebootShown);

    GuiFreezer freezer(m_tipList);
    m_tipRows->Clear(true);
    if (state == LineControl::active) {
        place.trace(L"Fill panel with tip devices.");
        m_tipStatus->Hide();
        for (const device::tip_device::TipDevice& device : lineControl->getLineState())
            addTipDeviceRow(device, mode == LineControl::on);
        place.trace2(L"PropertyDevicePanel::refreshTipDevices(): end");
    } else {
        m_tipStatus->SetLabel(line::initialisation(lineControl->getInitializationProgress()));
        m_tipStatus->Show();
        place.debug(L"Vokar has not tip devices");
    }
    m_tipList->FitInside();
    m_tipList->Layout();
    m_pageLine->Layout();
}

void PropertyDevicePanel::queueTipRefresh() {
    if (m_currentTab != pages::lineControl || !m_device) return;
    const PageTicket ticket = m_work.ticket(m_device, pages::lineControl);
    ticket.queue(kLineRefreshSlot, L"Обновление оконечных устройств", kLineRefreshMs,
                 [this, ticket](const DevicePtr& device) {
                     // The module is asked here, off the window; the window only shows.
                     if (const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(device))
                         vokar->getLineControl()->refresh(false);
                     ticket.show([this] { refreshTipDevices(false); });
                 });
}

void PropertyDevicePanel::addTipDeviceRow(const device::tip_device::TipDevice& device, bool powerSave) {
    const line::TipRow view = line::tipRow(device, powerSave);
    auto* row = new wxPanel(m_tipList, wxID_ANY);
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    auto* number = new wxStaticText(row, wxID_ANY, view.number);
    number->SetBackgroundColour(colourOf(view.numberColour));
    sizer->Add(number, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    if (m_debugMode) {
        const wxFont font(10, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                          L"Courier New");
        auto* share = new wxStaticText(row, wxID_ANY, view.share);
        share->SetFont(font);
        share->SetBackgroundColour(colourOf(view.shareColour));
        sizer->Add(share, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
        auto* report = new wxStaticText(row, wxID_ANY, view.report);
        report->SetFont(font);
        sizer->Add(report, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    }
    auto* name = new wxTextCtrl(row, wxID_ANY, view.name);
    name->Disable();
    sizer->Add(name, 1, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    auto* button = new wxButton(row, wxID_ANY, view.button);
    button->SetClientObject(new TipDeviceData(device));
    button->Enable(view.buttonEnabled);
    button->Bind(wxEVT_BUTTON, &PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick, this);
    button->Bind(wxEVT_LEFT_DOWN, &PropertyDevicePanel::tipDeviceButtonOnLeftDown, this);
    button->Bind(wxEVT_LEFT_UP, &PropertyDevicePanel::tipDeviceButtonOnLeftUp, this);
    button->Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_tipDevicesBlocked = false; });
    sizer->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    row->SetSizer(sizer);
    row->Layout();
    row->Fit();
    m_tipRows->Add(row, 0, wxEXPAND);
}

void PropertyDevicePanel::tipDeviceButtonOnLeftDown(wxMouseEvent& event) {
    m_tipDevicesBlocked = true;
    event.Skip();
}

void PropertyDevicePanel::tipDeviceButtonOnLeftUp(wxMouseEvent& event) {
    m_tipDevicesBlocked = false;
    event.Skip();
}

void PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick");
    place.trace(L"");
    // The click ends the press, whether or not its release reached the button.
    m_tipDevicesBlocked = false;
    auto* button = dynamic_cast<wxButton*>(event.GetEventObject());
    debug::throwIfFalse(button != nullptr, "frm::PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick");
    button->Disable();
    const auto* data = dynamic_cast<const TipDeviceData*>(button->GetClientObject());
    if (data == nullptr) {
        place.warn(L"Данные для оконечного устройства не установлены.");
        return;
    }
    if (!m_device) {
        place.warn(L"Устройство для оконечного устройства не установлено.");
        return;
    }
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    debug::throwIfFalse(vokar != nullptr, "frm::PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick");
    const auto lineControl = vokar->getLineControl();
    const bool done = data->device.added != 0 ? lineControl->remove(data->device.number)
                                              : lineControl->add(data->device.number);
    report(place, done);
    lineControl->requestTipDevices();
    // The row of this button is rebuilt once its handler has returned.
    m_work.ticket(m_device, pages::lineControl).show([this] { refreshTipDevices(false); });
}

void PropertyDevicePanel::addAllTipDevices_onButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::addAllTipDevices_onButtonClick");
    place.trace(L"");
    if (const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device)) {
        report(place, vokar->getLineControl()->addAll());
        vokar->getLineControl()->requestTipDevices();
    }
    refreshTipDevices(false);
}

void PropertyDevicePanel::resetPrefOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::resetPrefOnButtonClick");
    place.trace(L"");
    if (const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device)) {
        report(place, vokar->getLineControl()->resetPreferences());
    }
    refreshTipDevices(true);
}

void PropertyDevicePanel::rebootMasterOfTipDevices(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::rebootMasterOfTipDevices");
    place.trace(L"");
    // Until the next refresh finds the module again.
    m_tipBox->GetStaticBox()->Disable();
    if (const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device)) {
        if (!vokar->getLineControl()->rebootMaster()) report(place, false);
    }
}

void PropertyDevicePanel::tipDevicesOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::tipDevicesOnCheckBox").trace(L"");
    event.Skip();
    refreshTipDevices(false);
    enableApplyButtons(true);
}

}  // namespace frm
