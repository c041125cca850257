#include "support/EmulatorText.h"

#include <charconv>

#include "foundation/NetworkAddress.h"

namespace test {

std::string hex(std::uint32_t value, int width) {
    char digits[16];
    std::string text(digits, std::to_chars(digits, digits + sizeof digits, value, 16).ptr);
    for (char& c : text) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
    return text;
}

bool parseWhole(std::string_view text, std::int64_t& value, int base) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

const char* onOff(bool value) {
    return value ? "on" : "off";
}

bool setFlag(bool& field, const std::string& value) {
    if (value != "on" && value != "off") return false;
    field = value == "on";
    return true;
}

bool setAddress(std::string& field, const std::string& value) {
    std::string bare;
    if (!net::splitIpAndPort(value, &bare) || bare != value) return false;
    field = value;
    return true;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::string okReply(const std::string& command, const std::string& payload) {
    return "OK[" + command + "]: " + payload;
}

std::string unknownCommand(const std::string& command) {
    return "ERR[" + command + "]: unknown command";
}

}  // namespace test
