#pragma once
// The zone-target page ("Зоны трансляции") of a console: the state of its twenty zones, the
// loudspeakers of the zone chosen, the message the zone broadcasts and the faults the registry's
// integrity search finds. Ticking and choosing only edit the page; apply binds the zone. The
// console, the search and the loudspeakers' memories are read off the window.

#include <wx/event.h>

#include <memory>
#include <optional>
#include <vector>

#include "propertypanel/ZoneTargetsRules.h"
#include "propertypanel/pages/PropertyPage.h"
#include "propertypanel/pages/ZoneRepairArea.h"

namespace frm {

class ZoneTargetsPage : public PropertyPage {
public:
    explicit ZoneTargetsPage(PropertyDevicePanel& panel);

    void fill() override;
    void apply(AppliedHandler done) override;
    void cancel() override;
    // Shows the zones anew while the page holds no edits.
    void refresh() override;
    void deviceChanged() override;

    void toggleZoneButton(wxCommandEvent& event);
    void removeZoneOnButtonClick(wxCommandEvent& event);
    void resetZonesOnButtonClick(wxCommandEvent& event);
    void fixZoneIntegrityOnButtonClick(wxCommandEvent& event);
    void allZonesOnCheckBox(wxCommandEvent& event);

    // What was read, with the loudspeakers the rows stand for.
    struct Read {
        zones::TargetsRead targets;
        std::vector<DevicePtr> loudspeakers;
    };

private:
    // Rebuilds the page from what it reads of the console and the registry; `quiet` keeps what it
    // shows until the read arrives.
    void fillZoneTargets(bool quiet);
    void show(const Read& read);
    // Empties the list and sets the buttons that need nothing read.
    void clear();
    void selectVokarInZoneOnCheckBox(wxCommandEvent& event);
    void showMessages(const zones::Messages& messages,
                      const std::vector<device::memory::ScenarioEntry>& last);

    // The zone being edited; none until a zone button was pressed.
    std::optional<int> zone_;
    // Cancel asked for "Все" to be unticked once the page is shown again.
    bool untickAll_ = false;
    ZoneRepairArea repair_;
};

}  // namespace frm
