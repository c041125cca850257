#pragma once
// The texts the emulated devices read and write: numbers, on/off words, addresses, replies made
// of lines, and the reply forms of a command that was taken or not understood.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PlainText.h"

namespace test {

using base::decimal;
// Upper-case hexadecimal with at least `width` digits.
std::string hex(std::uint32_t value, int width);
// The whole text as one number of `base`, with an optional '+'.
bool parseWhole(std::string_view text, std::int64_t& value, int base = 10);
const char* onOff(bool value);

// The value of a "set <key> <value>" command into a setting; false, with the setting untouched,
// when the value does not read.
bool setFlag(bool& field, const std::string& value);
bool setAddress(std::string& field, const std::string& value);
template <class Integer>
bool setNumber(Integer& field, const std::string& value, std::int64_t lowest, std::int64_t highest) {
    std::int64_t number = 0;
    if (!parseWhole(value, number) || number < lowest || number > highest) return false;
    field = static_cast<Integer>(number);
    return true;
}

// The payload of a reply made of lines ("label: value"), as the devices send it.
std::string joinLines(const std::vector<std::string>& lines);

// The reply of a loudspeaker that took a command: "OK[command]: payload".
std::string okReply(const std::string& command, const std::string& payload);
std::string unknownCommand(const std::string& command);

}  // namespace test
