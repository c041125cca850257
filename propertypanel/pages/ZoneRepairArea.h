#pragma once
// "Исправить целостность связей" of a zone page: both the zone targets of a console and the linked
// consoles of a loudspeaker have the button, and each page repairs through an area of its own, so
// that what the repair ends in is shown on the page that asked for it.

#include <wx/event.h>

#include "propertypanel/pages/PagePart.h"

namespace frm {

class ZoneRepairArea : public PagePart {
public:
    // The area of the page `id` whose controls lie in `window`.
    ZoneRepairArea(PropertyDevicePanel& panel, int id, wxWindow* window);

    // Repairs the registry's bindings of the device shown off the window; the operator is told
    // when it is done and the clicked button is disabled. A device that does not answer closes the
    // panel.
    void fixZoneIntegrityOnButtonClick(wxCommandEvent& event);
};

}  // namespace frm
