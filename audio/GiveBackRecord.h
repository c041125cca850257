#pragma once
// What one loudspeaker is owed after an alarm, as the give-back journal keeps it.

#include <optional>

#include "devices/VokarInfo.h"
#include "foundation/NetworkAddress.h"

namespace frm {

struct GiveBackRecord {
    net::HardwareAddress address;
    // It was switched to the alarm channel: it goes back to the common one.
    bool switched = false;
    // The level it had; none when it keeps the one it has.
    std::optional<device::VokarInfo::Level> level;
    // The operator was shown, at a start, that a run left it; not told again at the next.
    bool told = false;

    // Whether it is owed anything: a record owed nothing is kept only until the operator was shown it.
    bool owed() const { return switched || level.has_value(); }
};

}  // namespace frm
