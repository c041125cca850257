#pragma once
// The equalizer of the common page without the window: the sliders' tooltips and the equalizer
// that a slider, the switch or the reset makes of the one the loudspeaker has.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace device {
class IEqualizer;
namespace vka {
class Equalizer;
}
}  // namespace device

namespace frm::eq {

// Percentages of the slider's end on its side, truncated.
std::wstring bassTip(int bass, int maximum);
std::wstring trebleTip(int treble, int minimum, int maximum);
std::wstring bandTip(int value);

// The first generations' equalizer with one of its two sliders moved; its switch stays as it was.
std::shared_ptr<device::IEqualizer> withBass(const device::vka::Equalizer& current, int bass);
std::shared_ptr<device::IEqualizer> withTreble(const device::vka::Equalizer& current, int treble);

// The later generations' equalizer from the six band sliders; the firmware before generation 12
// takes the older form, which clamps the bands. Any other number of values is an internal fault.
std::shared_ptr<device::IEqualizer> bandEqualizer(const std::vector<int>& values, bool on,
                                                  std::int32_t versionId);

// The equalizer that "Сбросить настройки эквалайзера" sends: flat and on, and for the six bands
// without the older firmware's limit, which flat bands do not need.
std::shared_ptr<device::IEqualizer> resetEqualizer(bool bands);

}  // namespace frm::eq
