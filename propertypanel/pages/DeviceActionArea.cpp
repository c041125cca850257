#include "propertypanel/pages/DeviceActionArea.h"

#include <optional>
#include <utility>
#include <vector>

#include "app/kit/ProgressBarDialog.h"
#include "app/kit/Questions.h"
#include "devicelink/DeviceBase.h"
#include "devicememory/FirmwareCollection.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "propertypanel/DeviceActions.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

void tell(const debug::Place& place, const actions::Report& report) {
    switch (report.level) {
        case actions::Level::notice:
            place.notice(L"%1%", report.text);
            break;
        case actions::Level::warn:
            place.warn(L"%1%", report.text);
            break;
        case actions::Level::error:
            place.error(L"%1%", report.text);
            break;
    }
}

// The self test of either kind of device; the refusal code of a start that failed.
template <class Device>
std::optional<actions::Report> runDeviceTest(Device& device) {
    if (auto refusal = actions::deviceTestRefusal({device.isTestRunning(), device.hasInternalPlaying()}))
        return refusal;
    try {
        device.startDeviceTest();
    } catch (const exception::UserResponse& failure) {
        return actions::deviceTestStarted(failure.message);
    }
    return actions::deviceTestStarted(std::nullopt);
}

// How the start of an update went: started or not, or refused with the refusal's code.
struct Start {
    bool started = false;
    std::optional<std::wstring> refusal;
};

}  // namespace

DeviceActionArea::DeviceActionArea(PropertyDevicePanel& panel)
    : PagePart(panel, pages::common, panel.m_pageCommon) {}

void DeviceActionArea::updateFirmwareOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::updateFirmwareOnButtonClick").trace(L"");
    PropertyDevicePanel& p = panel();
    const DevicePtr shown = device();
    if (!p.checkOnlineDevice() || !shown) return;
    const auto path = p.questions().askFile(
        {L"Открыть файл прошивки", L"Vokar firmwares *.bin *.eff *.fc|*.bin;*.eff;*.fc", L"", false});
    if (!path) return;
    upgrade(base::readFile(*path), false);
}

void DeviceActionArea::upgrade(const std::string& bytes, bool force) {
    const DevicePtr shown = device();
    if (!shown) return;
    // The dialog is made before the update starts, which reports to it; it stays a child of the
    // panel, and is only ever touched here, on the window's thread.
    if (progress_ != nullptr) progress_->Destroy();
    progress_ = new ProgressBarDialog(&panel(), L"Обновление прошивки, подождите...");
    progress_->expect(shown);
    write<Start>(
        L"start the firmware update",
        [bytes, force, report = progress_->reporter()](const DevicePtr& device) {
            Start start;
            try {
                start.started = device->upgradeFirmware(device::FirmwareCollection::fromFile(bytes, force),
                                                        report, force);
            } catch (const exception::ExternalError& failure) {
                start.refusal = failure.message;
            }
            return start;
        },
        [this, bytes](const Start& start) {
            const debug::Place place("frm::PropertyDevicePanel::updateFirmwareOnButtonClick");
            PropertyDevicePanel& p = panel();
            ProgressBarDialog* const dialog = std::exchange(progress_, nullptr);
            struct Destroy {
                ProgressBarDialog* dialog;
                ~Destroy() { dialog->Destroy(); }
            } destroy{dialog};
            if (start.refusal) {
                place.error(L"%1%", *start.refusal);
                if (p.debugMode() && p.questions().ask({L"Внимание!", actions::forceQuestion(*start.refusal),
                                                        Questions::Question::Buttons::yesNo,
                                                        Questions::Question::Icon::exclamation}))
                    upgrade(bytes, true);
                return;
            }
            if (!start.started) return;
            dialog->CentreOnParent();
            const int result = p.questions().showModal(*dialog);
            std::vector<std::wstring> failed;
            for (const DevicePtr& failure : dialog->failedDevices())
                failed.push_back(failure->getDisplayName());
            if (result == wxID_OK && failed.empty()) {
                place.notice(
                    L"Прошивка успешно отправлена на прибор, ожидайте окончание процесса обновления.");
                p.runCloseCallback();
            } else if (!failed.empty()) {
                place.error(L"Произошла ошибка при обновлении прошивки в устройствах: %1%",
                            actions::failedDeviceList(failed));
            }
        });
}

void DeviceActionArea::buttonSetLineOnClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::buttonSetLineOnClick").trace(L"");
    if (!dynamic_cast<device::VokarInfo*>(device().get())) return;
    write<std::pair<bool, bool>>(
        L"measure the lines",
        [](const DevicePtr& device) { return dynamic_cast<device::VokarInfo&>(*device).setLine(); },
        [](const std::pair<bool, bool>& lines) {
            tell(debug::Place("frm::PropertyDevicePanel::buttonSetLineOnClick"),
                 actions::lineMeasurement(lines.first, lines.second));
        });
}

void DeviceActionArea::rebootOnClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::rebootOnClick").trace(L"");
    if (!panel().checkOnlineDevice()) return;
    write<bool>(
        L"reboot the device", [](const DevicePtr& device) { return device->reboot(); },
        [this](const bool& rebooted) {
            const debug::Place place("frm::PropertyDevicePanel::rebootOnClick");
            if (rebooted) {
                place.notice(L"Прибор перезагружен");
            } else {
                place.notice(L"Не удалось перезагрузить прибор");
            }
            panel().runCloseCallback();
        });
}

void DeviceActionArea::testDeviceOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::testDeviceOnButtonClick").trace(L"");
    debug::throwIfFalse(device() != nullptr, "frm::PropertyDevicePanel::testDeviceOnButtonClick");
    write<std::optional<actions::Report>>(
        L"start the device test",
        [](const DevicePtr& device) -> std::optional<actions::Report> {
            if (auto* vokar = dynamic_cast<device::VokarInfo*>(device.get())) return runDeviceTest(*vokar);
            if (auto* console = dynamic_cast<device::TribelInfo*>(device.get()))
                return runDeviceTest(*console);
            return std::nullopt;
        },
        [](const std::optional<actions::Report>& report) {
            debug::throwIfFalse(report.has_value(), "frm::PropertyDevicePanel::testDeviceOnButtonClick");
            tell(debug::Place("frm::PropertyDevicePanel::testDeviceOnButtonClick"), *report);
        });
}

}  // namespace frm
