#pragma once
// The sources page ("Источники") of a loudspeaker: whether it plays the stream of other modules
// or passes its analog inputs on, the priorities of its six sources, the scenario each analog
// input starts, their line integrity, and the sound-pressure test. The settings are written by
// apply; the test starts and ends at once.

#include <wx/event.h>

#include <array>
#include <cstdint>

#include "devices/VokarConfig.h"
#include "propertypanel/pages/PropertyPage.h"

namespace frm {

class SourcePage : public PropertyPage {
public:
    // Without the alarm buttons the alarm stream's row is not offered, nor the priority it holds.
    explicit SourcePage(PropertyDevicePanel& panel);

    void fill() override;
    void apply(AppliedHandler done) override;

    void sourceOnCheckBox(wxCommandEvent& event);
    void sourcePriorityOnCheckBox(wxCommandEvent& event);
    void testSoundPressureOnButtonClick(wxCommandEvent& event);

private:
    // Enables the source boxes by their rules and, when asked, sets the inputs' mode choices from
    // the settings read last.
    void initSource(bool allowOther, bool passInput1, bool passInput2, bool refreshInput1,
                    bool refreshInput2);
    // Adds the loudspeaker's scenarios to the inputs' choices once read; an input the operator
    // has not set meanwhile then shows its configured scenario.
    void readScenarios();
    // The button follows the test as the loudspeaker's state tells it.
    void updateSoundPressureButton();

    // The settings as the loudspeaker reported them last.
    device::VokarConfig config_;
};

}  // namespace frm
