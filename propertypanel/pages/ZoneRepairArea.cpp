#include "propertypanel/pages/ZoneRepairArea.h"

#include "devicelink/DeviceCollection.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

ZoneRepairArea::ZoneRepairArea(PropertyDevicePanel& panel, int id, wxWindow* window)
    : PagePart(panel, id, window) {}

void ZoneRepairArea::fixZoneIntegrityOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::fixZoneIntegrityOnButtonClick").trace(L"");
    if (!device()) return;
    device::DeviceCollection& registry = panel().registry();
    auto* button = dynamic_cast<wxWindow*>(event.GetEventObject());
    write<bool>(
        L"repair the zone bindings",
        [&registry](const DevicePtr& device) {
            try {
                registry.fixIntegrity(device);
            } catch (const exception::Offline&) {
                return false;
            }
            return true;
        },
        [this, button](const bool& answered) {
            const debug::Place place("frm::PropertyDevicePanel::fixZoneIntegrityOnButtonClick");
            if (!answered) {
                // The device did not answer: the panel closes.
                panel().close();
                place.notice(L"Устройство не в сети");
                return;
            }
            place.notice(L"Выполнение операции завершено");
            if (button != nullptr) button->Disable();
        });
}

}  // namespace frm
