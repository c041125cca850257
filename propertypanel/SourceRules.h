#pragma once
// The rules of the source page's boxes: a loudspeaker either plays the stream of other modules or
// passes its own analog inputs on, never both, and an input that is passed on has no local mode.
// Also the Nerida page's rule that line reserve needs the interface-error indication. Decided
// without the window.

#include <cstdint>
#include <optional>

#include "propertypanel/DeviceTraits.h"

namespace frm::source {

struct Boxes {
    bool allowOtherEnabled = false;
    bool passInput1Enabled = false;
    bool passInput2Enabled = false;
};
// A loudspeaker that reports both playing and passing on gets all three boxes, so that the
// operator can resolve it.
Boxes boxes(bool allowOther, bool passInput1, bool passInput2, const DeviceTraits& traits);

struct InputMode {
    bool enabled = false;
    // The first item, "ГОиЧС / Микрофон"; otherwise the item of the configured scenario.
    bool microphone = false;
};
// The mode choice of one input (`second`: input 2) and its configured scenario id.
InputMode inputMode(bool second, bool passedOn, std::int16_t scenarioId, const DeviceTraits& traits);

struct Reserve {
    bool enabled = false;
    bool checked = false;
};
// "Резервирование линии" after "Индикация ошибки интерфейса" changed; nothing changes for a
// device without line redundancy. `stored` is the device's stored line-reserve value.
std::optional<Reserve> lineReserve(bool interfaceError, bool stored, const DeviceTraits& traits);

}  // namespace frm::source
