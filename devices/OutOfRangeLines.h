#pragma once
// The log lines of the fields of one status packet that lie out of their range. A sender that
// keeps sending such packets gets about one packet's lines a second into the log; the first
// after a pause tells how many packets were left out, so a flood cannot fill the disk.

#include <cstdint>

#include "foundation/NetworkAddress.h"
#include "foundation/Place.h"

namespace device {

class OutOfRangeLines {
public:
    OutOfRangeLines(const char* place, const net::IpAndPort& sender);
    OutOfRangeLines(const OutOfRangeLines&) = delete;
    OutOfRangeLines& operator=(const OutOfRangeLines&) = delete;

    // Every sender is new again (for tests: the lines of one test's senders are not held back
    // because an earlier test's senders had the same addresses).
    static void forgetSenders();

    // Logs one field's line at EXTERN when this packet's lines are written.
    template <class Value>
    void write(const wchar_t* message, const Value& value) {
        if (admitted()) debug::Place(place_).external(message, value);
    }

private:
    // Asks the sender's throttle at the packet's first field out of range.
    bool admitted();

    const char* place_;
    const net::IpAndPort& sender_;
    enum class Decision { open, written, leftOut } decision_ = Decision::open;
};

}  // namespace device
