#pragma once
// A device's version text ("Vokar-B 2.01.03.17 [2023-04-05 10:11:12]") and the record read
// from it: the device type, four numbers, the build time and the debug and emulator marks.

#include <cstdint>
#include <ctime>
#include <string>

#include "devicelink/DeviceType.h"

namespace device {

struct Version {
    DeviceType type = 0;
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t revision = 0;
    // 0 when the text has only three numbers.
    std::uint16_t build = 0;
    // Seconds since 1970-01-01 UTC of the local build time read without daylight saving; 0 when
    // the text carries no date.
    std::int64_t buildTime = 0;
    bool debug = false;
    bool emulator = false;
    std::string text;
};

// True for a version text: a word of at most 259 characters, a blank and three or four dotted
// numbers (the first two below 255, the others below 65535). Fills `out` when it is not null;
// leaves it untouched when the text is refused.
bool parseVersion(const std::string& text, Version* out);

// Reads one date and time at the start of `position` by a strftime-like `format` (%Y %m %d %H
// %M %S, and %a %b in the names of the process-wide locale) into `record`. Gives the position
// behind what was read, or null when the text does not match. Blanks in the format match any
// run of blanks in the text.
const char* parseDateTime(const char* position, const char* format, std::tm* record);

}  // namespace device
