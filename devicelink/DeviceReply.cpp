#include "devicelink/DeviceReply.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

constexpr const char* kBusyText = "Processing of the previous command isn't complete!";

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The word stands alone: the frame's bracket, a colon, a blank or the end follows it.
bool startsWithWord(const std::string& text, const char* word) {
    constexpr std::string_view wordEnds = "[: \t\r\n\v\f";
    const std::size_t length = std::strlen(word);
    return startsWith(text, word) &&
           (text.size() == length || wordEnds.find(text[length]) != std::string_view::npos);
}

// Removes `count` characters from the front, at most the whole text.
void dropFront(std::string& text, std::size_t count) {
    text.erase(0, std::min(count, text.size()));
}

}  // namespace

bool DeviceReply::strip(std::string& reply, bool* error) {
    if (error) *error = false;
    if (startsWith(reply, "OK")) {
        const std::size_t bracket = reply.find("]:");
        dropFront(reply, bracket == std::string::npos ? 2 : bracket + 3);
        base::trim(reply);
        return true;
    }
    if (startsWith(reply, "SUCCESS")) {
        const std::size_t colon = reply.find(':');
        dropFront(reply, colon == std::string::npos ? std::strlen("SUCCESS") : colon + 2);
        base::trim(reply);
        return true;
    }
    if (startsWith(reply, "ERR")) {
        std::size_t colon = reply.find("]:");
        if (colon == std::string::npos) colon = reply.find(':');
        dropFront(reply, colon == std::string::npos ? std::strlen("ERR") : colon + 2);
        base::trim(reply);
        if (error) *error = true;
        return false;
    }
    base::trim(reply);
    return !reply.empty();
}

bool DeviceReply::stripSuccess(std::string& reply, bool* error) {
    if (startsWithWord(reply, "OK") || startsWithWord(reply, "SUCCESS") || startsWith(reply, "ERR"))
        return strip(reply, error);
    if (error) *error = false;
    base::trim(reply);
    return false;
}

bool DeviceReply::isBusy(const std::string& reply) {
    return reply.find(kBusyText) != std::string::npos;
}

bool DeviceReply::inAnswerWords(const std::string& reply) {
    return startsWithWord(reply, "OK") || startsWithWord(reply, "SUCCESS") || startsWith(reply, "ERR") ||
           isBusy(reply);
}

std::string_view DeviceReply::namedCommand(const std::string& reply) {
    std::size_t open = std::string::npos;
    if (startsWith(reply, "OK[")) {
        open = 3;
    } else if (startsWith(reply, "SUCCESS[")) {
        open = 8;
    } else if (startsWith(reply, "ERR[")) {
        open = 4;
    }
    if (open == std::string::npos) return {};
    const std::size_t close = reply.find(']', open);
    if (close == std::string::npos) return {};
    return std::string_view(reply).substr(open, close - open);
}

DeviceReply::Naming DeviceReply::naming(std::string_view named, const std::string& request) {
    std::string_view command(request);
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.remove_suffix(1);
    if (named.size() > command.size() || command.compare(0, named.size(), named) != 0) return Naming::other;
    if (named.size() == command.size()) return Naming::whole;
    return command[named.size()] == ' ' ? Naming::firstWords : Naming::other;
}

bool DeviceReply::echoes(const std::string& reply, const std::string& request) {
    const std::string_view named = namedCommand(reply);
    return named.empty() || naming(named, request) != Naming::other;
}

std::vector<std::string> DeviceReply::splitResponse(const std::string& reply) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = reply.find_first_of("\r\n", start);
        std::string piece = reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::size_t colon = piece.find(':');
        if (colon != std::string::npos) {
            piece.erase(0, colon + 1);
            base::trim(piece);
        }
        pieces.push_back(std::move(piece));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return pieces;
}

bool DeviceReply::parseBoolValue(const std::string& text, bool& value) {
    if (base::scan::containsIgnoringCase(text, "on")) {
        value = true;
        return true;
    }
    if (base::scan::containsIgnoringCase(text, "off")) {
        value = false;
        return true;
    }
    debug::Place("device::DeviceBase::parseBoolValue")
        .external(L"It got incorrect type for bool value (%1%)", text);
    return false;
}

bool DeviceReply::parseIntValue(const std::string& text, std::int64_t& value, std::int64_t minimum,
                                std::int64_t maximum) {
    std::size_t at = 0;
    std::int64_t parsed = 0;
    // The number parser of the scan layer; only blanks may follow the number.
    bool ok = base::scan::readDecimal(text, at, parsed);
    base::scan::skipBlanks(text, at);
    ok = ok && at == text.size() && parsed >= minimum && parsed <= maximum;
    if (!ok) {
        debug::Place("device::DeviceBase::parseIntValue")
            .external(L"Получен неверный тип для целочисленного значения %1% с границами диапазона %2%..%3%",
                      text, minimum, maximum);
        return false;
    }
    value = parsed;
    return true;
}

bool DeviceReply::parseHex(const std::string& text, std::uint32_t& value, std::uint32_t maximum) {
    std::size_t at = 0;
    base::scan::skipBlanks(text, at);
    std::uint64_t parsed = 0;
    // Saturating one above the bound, so that a longer number reads as out of range.
    bool ok = base::scan::readDigits(text, at, 16, std::uint64_t{maximum} + 1, parsed);
    base::scan::skipBlanks(text, at);
    ok = ok && at == text.size() && parsed <= maximum;
    if (!ok) {
        debug::Place("device::DeviceReply::parseHex")
            .external(L"Получен неверный тип для шестнадцатеричного значения %1% с границей %2%", text,
                      maximum);
        return false;
    }
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

}  // namespace device
