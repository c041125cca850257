#include "devices/OutOfRangeLines.h"

#include "foundation/LogThrottle.h"

namespace device {
namespace {

// One for every device class: a sender is known by its address, whatever port and hardware
// address its packets carry.
base::LogThrottle& senders() {
    static base::LogThrottle throttle;
    return throttle;
}

}  // namespace

OutOfRangeLines::OutOfRangeLines(const char* place, const net::IpAndPort& sender)
    : place_(place), sender_(sender) {}

void OutOfRangeLines::forgetSenders() {
    senders().forget();
}

bool OutOfRangeLines::admitted() {
    if (decision_ != Decision::open) return decision_ == Decision::written;
    std::uint64_t skipped = 0;
    decision_ = senders().pass(sender_.getAddress(), skipped) ? Decision::written : Decision::leftOut;
    if (decision_ == Decision::written && skipped > 0) {
        debug::Place(place_).external(L"State packets with fields out of range from %1%: %2% more left out",
                                      sender_.getWideText(), skipped);
    }
    return decision_ == Decision::written;
}

}  // namespace device
