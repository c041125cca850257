#pragma once
// The page of the consoles bound to a loudspeaker ("Связанные консоли"): one row per zone address
// the loudspeaker keeps, naming the console and marking what the registry's integrity search and
// the loudspeaker report of it, and the button that repairs the bindings. Read off the window and
// shown anew as the devices' states change.

#include "propertypanel/pages/PropertyPage.h"

namespace frm {

class LinkedConsolesPage : public PropertyPage {
public:
    explicit LinkedConsolesPage(PropertyDevicePanel& panel);

    void fill() override;
    void refresh() override;

    struct Read;

private:
    // `quiet` keeps what the page shows until the read arrives.
    void read(bool quiet);
    void show(const Read& read);
};

}  // namespace frm
