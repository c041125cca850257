#pragma once
// The loudspeaker's equalizer on the common page: bass and treble for the first generations, six
// bands for the later ones, and its switch. Every change goes to the loudspeaker at once; apply
// is not involved.

#include <wx/event.h>

#include <memory>
#include <vector>

#include "propertypanel/pages/PagePart.h"

class wxSlider;

namespace device {
class IEqualizer;
}

namespace frm {

class EqualizerArea : public PagePart {
public:
    explicit EqualizerArea(PropertyDevicePanel& panel);

    // Shows the equalizer the loudspeaker reported: on its six band sliders or on bass and treble.
    void show(const std::shared_ptr<device::IEqualizer>& equalizer, bool bands);
    void release();

    void onCheckBoxEqualizer(wxCommandEvent& event);
    void onBandSlider(wxEvent& event);
    void resetEqOnButtonClick(wxCommandEvent& event);

private:
    // What waits to be sent: the latest equalizer, sent once whichever send comes first.
    struct Outbox;

    // The bass and treble sliders send on every final change of position.
    void bassOnScrollChanged(wxScrollEvent& event);
    void trebleOnScrollChanged(wxScrollEvent& event);
    void SetFullBassVolume(std::uint16_t word);
    void applyEqualizerToDevices();

    // The equalizer last read from or sent to the loudspeaker.
    std::shared_ptr<device::IEqualizer> equalizer_;
    std::vector<wxSlider*> bandSliders_;
    std::shared_ptr<Outbox> outbox_;
};

}  // namespace frm
