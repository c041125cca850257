#pragma once
// The page of the consoles bound to a loudspeaker ("Связанные консоли"): one row per zone address
// the loudspeaker keeps, naming the console and marking what the registry's integrity search and
// the loudspeaker report of it, and the button that repairs the bindings. Read off the window and
// shown anew as the devices' states change.

#include <wx/event.h>

#include "propertypanel/pages/PropertyPage.h"
#include "propertypanel/pages/ZoneRepairArea.h"

namespace frm {

class LinkedConsolesPage : public PropertyPage {
public:
    explicit LinkedConsolesPage(PropertyDevicePanel& panel);

    void fill() override;
    void refresh() override;

    void fixZoneIntegrityOnButtonClick(wxCommandEvent& event);

    struct Read;

private:
    // Rebuilds the page from what it reads of the loudspeaker and the registry; `quiet` keeps what
    // the page shows until the read arrives.
    void fillLinkedConsoles(bool quiet);
    void show(const Read& read);

    ZoneRepairArea repair_;
};

}  // namespace frm
