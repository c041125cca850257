// The device actions of the common page: firmware update, line measurement, reboot and the
// device's self test.

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

}  // namespace

void PropertyDevicePanel::runCloseCallback() {
    if (!m_closeCallback) throw exception::InternalError(L"Не установлен обработчки закрытия панели");
    m_closeCallback();
}

void PropertyDevicePanel::updateFirmwareOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::updateFirmwareOnButtonClick");
    place.trace(L"");
    const DevicePtr device = m_device;
    if (!checkOnlineDevice() || !device) return;
    const auto path = m_questions.askFile(
        {L"Открыть файл прошивки", L"Vokar firmwares *.bin *.eff *.fc|*.bin;*.eff;*.fc", L"", false});
    if (!path) return;
    const std::string bytes = base::readFile(*path);
    bool force = false;
    for (;;) {
        ProgressBarDialog dialog(this, L"Обновление прошивки, подождите...");
        dialog.expect(device);
        try {
            if (!device->upgradeFirmware(device::FirmwareCollection::fromFile(bytes, force),
                                         dialog.reporter(), force))
                return;
        } catch (const exception::ExternalError& failure) {
            place.error(L"%1%", failure.message);
            if (!m_debugMode || !m_questions.askYesNo(L"Внимание!", actions::forceQuestion(failure.message)))
                return;
            force = true;
            continue;
        }
        dialog.CentreOnParent();
        const int result = m_questions.showModal(dialog);
        std::vector<std::wstring> failed;
        for (const DevicePtr& failure : dialog.failedDevices()) failed.push_back(failure->getDisplayName());
        if (result == wxID_OK && failed.empty()) {
            place.notice(L"Прошивка успешно отправлена на прибор, ожидайте окончание процесса обновления.");
            runCloseCallback();
        } else if (!failed.empty()) {
            place.error(L"Произошла ошибка при обновлении прошивки в устройствах: %1%",
                        actions::failedDeviceList(failed));
        }
        return;
    }
}

void PropertyDevicePanel::buttonSetLineOnClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::buttonSetLineOnClick");
    place.trace(L"");
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    if (!vokar) return;
    const auto [line1, line2] = vokar->setLine();
    tell(place, actions::lineMeasurement(line1, line2));
}

void PropertyDevicePanel::rebootOnClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::rebootOnClick");
    place.trace(L"");
    if (!checkOnlineDevice()) return;
    if (m_device->reboot()) {
        place.notice(L"Прибор перезагружен");
    } else {
        place.notice(L"Не удалось перезагрузить прибор");
    }
    runCloseCallback();
}

void PropertyDevicePanel::testDeviceOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::testDeviceOnButtonClick");
    place.trace(L"");
    debug::throwIfFalse(m_device != nullptr, "frm::PropertyDevicePanel::testDeviceOnButtonClick");
    std::optional<actions::Report> report;
    if (auto* vokar = dynamic_cast<device::VokarInfo*>(m_device.get())) {
        report = runDeviceTest(*vokar);
    } else if (auto* console = dynamic_cast<device::TribelInfo*>(m_device.get())) {
        report = runDeviceTest(*console);
    }
    debug::throwIfFalse(report.has_value(), "frm::PropertyDevicePanel::testDeviceOnButtonClick");
    tell(place, *report);
}

}  // namespace frm
