#include "propertypanel/pages/LinePage.h"

#include <wx/button.h>

#include <exception>
#include <vector>

#include "app/kit/GuiFreezer.h"
#include "devices/LineControl.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/LineControlRules.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

struct LinePage::Module {
    // The loudspeaker answers and has a module.
    bool available = false;
    bool powerSave = false;
    device::Version version;
    std::string address;
    device::tip_device::LineControl::State state = device::tip_device::LineControl::notRead;
    std::uint32_t mode = device::tip_device::LineControl::unknown;
    bool vokarB = false;
    std::vector<device::tip_device::TipDevice> devices;
    std::uint32_t progress = 0;
    // What failed after the module was found: the refresh goes on all the same.
    std::exception_ptr failure;
};

namespace {

constexpr std::size_t kRefreshSlot = 0;
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

device::tip_device::LineControl& moduleOf(const PropertyPage::DevicePtr& device) {
    auto* vokar = dynamic_cast<device::VokarInfo*>(device.get());
    debug::throwIfFalse(vokar != nullptr, "frm::PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick");
    return *vokar->getLineControl();
}

// What a read asks the module before the rest.
enum class First { nothing, powerSave, endDevices };

// The module's state, asked in the order the page has always asked it, after `first`. A module that
// leaves a query unanswered is asked nothing more in this read: each query would wait for it in vain.
LinePage::Module readModule(device::VokarInfo& vokar, bool withVersion, First first) {
    LinePage::Module module;
    if (!vokar.isOnlineAndResponding() || vokar.getVersionId() < kLineControlVersion) return module;
    module.available = true;
    try {
        using device::tip_device::LineControl;
        const auto lineControl = vokar.getLineControl();
        const std::uint64_t unanswered = lineControl->unansweredCount();
        const auto answers = [&] { return lineControl->unansweredCount() == unanswered; };
        if (first == First::powerSave) module.powerSave = lineControl->isPowerSaveMode();
        // A refresh of its own asks the module anew first.
        if (first == First::endDevices) lineControl->refresh(false);
        if (answers() && (withVersion || lineControl->getAddress().empty())) {
            debug::Place("device::tip_device::LineControl::getMasterHardwareAddress")
                .debug(L"Request master hardware address.");
            lineControl->initVersionAndAddress();
        }
        module.version = answers() ? lineControl->getMasterFirmwareVersion() : lineControl->knownVersion();
        module.address = lineControl->getAddress();
        if (answers() && lineControl->getState() == LineControl::notRead) lineControl->requestTipDevices();
        if (answers() && lineControl->getState() == LineControl::notRead) lineControl->requestTipDevices();
        module.mode = lineControl->getPowerSaveMode();
        if (answers() && lineControl->getState() != LineControl::active) lineControl->requestTipDevices();
        module.state = lineControl->getState();
        module.vokarB = vokar.isType(kVokarB);
        if (module.state == LineControl::active) {
            module.devices = lineControl->getLineState();
        } else {
            module.progress = line::initialisationProgress(*lineControl, answers());
        }
    } catch (...) {
        module.failure = std::current_exception();
    }
    return module;
}

}  // namespace

LinePage::LinePage(PropertyDevicePanel& panel) : PropertyPage(panel, pages::lineControl, panel.m_pageLine) {
    // The rows are built by the page; the placeholder leaves the list.
    panel.m_tipTemplateRow->Hide();
    panel.m_tipRows->Detach(panel.m_tipTemplateRow);
    panel.m_tipRemoveAll->Disable();
    panel.m_tipVersion->Hide();
    if (!panel.debugMode()) panel.m_tipReboot->Hide();
}

void LinePage::fill() {
    await();
    read<Module>(
        kRefreshSlot, L"read the line control",
        [](const DevicePtr& device) {
            auto* vokar = dynamic_cast<device::VokarInfo*>(device.get());
            if (vokar == nullptr) return Module();
            return readModule(*vokar, false, First::powerSave);
        },
        [this](const Module& module) {
            ready();
            if (module.available) panel().m_powerSave->SetValue(module.powerSave);
            show(module);
        });
}

void LinePage::leave() {
    blocked_ = false;
}

void LinePage::refresh(bool withVersion, std::uint32_t delayMs) {
    read<Module>(
        kRefreshSlot, L"Обновление оконечных устройств",
        [withVersion, delayMs](const DevicePtr& device) {
            auto* vokar = dynamic_cast<device::VokarInfo*>(device.get());
            if (vokar == nullptr) return Module();
            return readModule(*vokar, withVersion, delayMs > 0 ? First::endDevices : First::nothing);
        },
        [this](const Module& module) { show(module); }, delayMs);
}

void LinePage::show(const Module& module) {
    const debug::Place place("frm::PropertyDevicePanel::refreshTipDevices");
    PropertyDevicePanel& p = panel();
    if (panel().isShutdown() || !device()) return;
    if (blocked_) {
        place.debug(L"Skip refreshing of the tip devices, because set a blocking.");
        // The chain goes on: the next refresh finds the button released.
        refresh(false, kRefreshMs);
        return;
    }
    if (!dynamic_cast<device::VokarInfo*>(device().get())) {
        place.important(L"Got an unexpected device, id=%1%", device()->getId());
        return;
    }
    wxWindow* group = p.m_tipBox->GetStaticBox();
    if (!module.available) {
        place.debug(L"Device is unavailable");
        p.m_tipRows->Clear(true);
        group->Disable();
        p.m_tipStatus->SetLabel(L"Устройство недоступно");
        p.m_tipStatus->Show();
        p.m_pageLine->Layout();
        return;
    }
    group->Enable();
    // The chain goes on whatever this refresh shows.
    refresh(false, kRefreshMs);
    if (module.failure) std::rethrow_exception(module.failure);
    place.trace2(L"PropertyDevicePanel::refreshTipDevices(): begin");
    const wxString version = line::versionLine(module.version, module.address);
    if (p.m_tipVersion->GetLabel() != version) p.m_tipVersion->SetLabel(version);
    p.m_tipVersion->Show();

    using device::tip_device::LineControl;
    const line::Buttons buttons = line::buttons(module.state, module.mode, module.vokarB, p.debugMode());
    p.m_powerSave->Enable(buttons.powerSaveEnabled);
    p.m_tipAddAll->Enable(buttons.addAllEnabled);
    p.m_tipRemoveAll->Enable(buttons.removeAllEnabled);
    p.m_tipReboot->Enable(buttons.rebootEnabled);
    p.m_tipReboot->Show(buttons.rebootShown);

    GuiFreezer freezer(p.m_tipList);
    p.m_tipRows->Clear(true);
    if (module.state == LineControl::active) {
        place.trace(L"Fill panel with tip devices.");
        p.m_tipStatus->Hide();
        for (const device::tip_device::TipDevice& device : module.devices)
            addTipDeviceRow(device, module.mode == LineControl::on);
        place.trace2(L"PropertyDevicePanel::refreshTipDevices(): end");
    } else {
        p.m_tipStatus->SetLabel(line::initialisation(module.progress));
        p.m_tipStatus->Show();
        place.debug(L"Vokar has not tip devices");
    }
    p.m_tipList->FitInside();
    p.m_tipList->Layout();
    p.m_pageLine->Layout();
}

void LinePage::addTipDeviceRow(const device::tip_device::TipDevice& device, bool powerSave) {
    PropertyDevicePanel& p = panel();
    const line::TipRow view = line::tipRow(device, powerSave);
    auto* row = new wxPanel(p.m_tipList, wxID_ANY);
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    auto* number = new wxStaticText(row, wxID_ANY, view.number);
    number->SetBackgroundColour(colourOf(view.numberColour));
    sizer->Add(number, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    if (p.debugMode()) {
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
    button->Bind(wxEVT_BUTTON, &LinePage::addOrRemoveTipDeviceOnButtonClick, this);
    button->Bind(wxEVT_LEFT_DOWN, &LinePage::tipDeviceButtonOnLeftDown, this);
    button->Bind(wxEVT_LEFT_UP, &LinePage::tipDeviceButtonOnLeftUp, this);
    button->Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { blocked_ = false; });
    sizer->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    row->SetSizer(sizer);
    row->Layout();
    row->Fit();
    p.m_tipRows->Add(row, 0, wxEXPAND);
}

void LinePage::tipDeviceButtonOnLeftDown(wxMouseEvent& event) {
    blocked_ = true;
    event.Skip();
}

void LinePage::tipDeviceButtonOnLeftUp(wxMouseEvent& event) {
    blocked_ = false;
    event.Skip();
}

void LinePage::addOrRemoveTipDeviceOnButtonClick(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick");
    place.trace(L"");
    // The click ends the press, whether or not its release reached the button.
    blocked_ = false;
    if (!acts()) return;
    auto* button = dynamic_cast<wxButton*>(event.GetEventObject());
    debug::throwIfFalse(button != nullptr, "frm::PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick");
    button->Disable();
    const auto* data = dynamic_cast<const TipDeviceData*>(button->GetClientObject());
    if (data == nullptr) {
        place.warn(L"Данные для оконечного устройства не установлены.");
        return;
    }
    if (!device()) {
        place.warn(L"Устройство для оконечного устройства не установлено.");
        return;
    }
    const device::tip_device::TipDevice tip = data->device;
    // The row of this button is rebuilt by the refresh that follows, once its handler returned.
    write<bool>(
        L"change an end device",
        [tip](const DevicePtr& device) {
            device::tip_device::LineControl& lineControl = moduleOf(device);
            const bool done = tip.added != 0 ? lineControl.remove(tip.number) : lineControl.add(tip.number);
            lineControl.requestTipDevices();
            return done;
        },
        [this](const bool& done) {
            report(debug::Place("frm::PropertyDevicePanel::addOrRemoveTipDeviceOnButtonClick"), done);
            refresh(false);
        });
}

void LinePage::addAllTipDevices_onButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::addAllTipDevices_onButtonClick").trace(L"");
    if (!dynamic_cast<device::VokarInfo*>(device().get())) {
        refresh(false);
        return;
    }
    write<bool>(
        L"add every end device",
        [](const DevicePtr& device) {
            device::tip_device::LineControl& lineControl = moduleOf(device);
            const bool done = lineControl.addAll();
            lineControl.requestTipDevices();
            return done;
        },
        [this](const bool& done) {
            report(debug::Place("frm::PropertyDevicePanel::addAllTipDevices_onButtonClick"), done);
            refresh(false);
        });
}

void LinePage::resetPrefOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::resetPrefOnButtonClick").trace(L"");
    if (!dynamic_cast<device::VokarInfo*>(device().get())) {
        refresh(true);
        return;
    }
    write<bool>(
        L"reset the line control",
        [](const DevicePtr& device) { return moduleOf(device).resetPreferences(); },
        [this](const bool& done) {
            report(debug::Place("frm::PropertyDevicePanel::resetPrefOnButtonClick"), done);
            refresh(true);
        });
}

void LinePage::rebootMasterOfTipDevices(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::rebootMasterOfTipDevices").trace(L"");
    // Until the next refresh finds the module again.
    panel().m_tipBox->GetStaticBox()->Disable();
    if (!dynamic_cast<device::VokarInfo*>(device().get())) return;
    write<bool>(
        L"restart the line control", [](const DevicePtr& device) { return moduleOf(device).rebootMaster(); },
        [](const bool& done) {
            if (!done) report(debug::Place("frm::PropertyDevicePanel::rebootMasterOfTipDevices"), false);
        });
}

void LinePage::tipDevicesOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::tipDevicesOnCheckBox").trace(L"");
    event.Skip();
    refresh(false);
    panel().enableApplyButtons(true);
}

void LinePage::apply(AppliedHandler done) {
    if (!dynamic_cast<device::VokarInfo*>(device().get())) {
        done(Applied());
        return;
    }
    const bool powerSave = panel().m_powerSave->GetValue();
    write<Applied>(
        L"write the power-save mode",
        [powerSave](const DevicePtr& device) {
            Applied applied;
            applied.success = moduleOf(device).setPowerSaveMode(powerSave ? 1 : 0);
            return applied;
        },
        [done](const Applied& applied) { done(applied); });
}

}  // namespace frm
