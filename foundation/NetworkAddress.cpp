#include "foundation/NetworkAddress.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "foundation/Place.h"
#include "foundation/ScanFields.h"
#include "foundation/TextConversion.h"

namespace net {
namespace {

using base::scan::readUnsigned;
using base::scan::skipBlanks;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%u.%u.%u.%u": the octets read and where the last one ends.
struct DottedScan {
    std::uint32_t octets[4] = {};
    int count = 0;
    std::size_t end = 0;

    bool inRange() const {
        return std::all_of(std::begin(octets), std::end(octets),
                           [](std::uint32_t octet) { return octet <= 255; });
    }
    bool allZero() const {
        return std::all_of(std::begin(octets), std::end(octets),
                           [](std::uint32_t octet) { return octet == 0; });
    }
    std::uint32_t address() const { return octets[0] << 24 | octets[1] << 16 | octets[2] << 8 | octets[3]; }
};

DottedScan scanOctets(std::string_view text) {
    DottedScan scan;
    std::size_t at = 0;
    while (scan.count < 4) {
        if (scan.count > 0) {
            if (at >= text.size() || text[at] != '.') break;
            ++at;
        }
        if (!readUnsigned(text, at, scan.octets[scan.count])) break;
        ++scan.count;
        scan.end = at;
    }
    return scan;
}

// "%u.%u.%u.%u%c%u%c": the field count tells the shape. 4: the text ends after the fourth octet;
// 5: something other than a port follows; 6: a separator and a port end the text; 7: more
// follows the port.
struct ShapeScan {
    DottedScan dotted;
    int count = 0;
    char separator = 0;
    std::uint32_t port = 0;
};

ShapeScan scanShape(std::string_view text) {
    ShapeScan scan;
    scan.dotted = scanOctets(text);
    scan.count = scan.dotted.count;
    if (scan.count < 4) return scan;
    std::size_t at = scan.dotted.end;
    if (at >= text.size()) return scan;
    scan.separator = text[at++];
    scan.count = 5;
    if (!readUnsigned(text, at, scan.port)) return scan;
    scan.count = at < text.size() ? 7 : 6;
    return scan;
}

// The first octet as "%i" reads it, given its decimal value: after a leading zero the digits are
// octal (0224 is 148). The field is known to hold a number up to 255, so nothing overflows.
std::uint32_t firstOctetWithBase(std::string_view text, std::uint32_t decimal) {
    std::size_t at = 0;
    skipBlanks(text, at);
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (at >= text.size() || text[at] != '0') return decimal;
    std::uint32_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '7'; ++at) {
        value = value * 8 + static_cast<std::uint32_t>(text[at] - '0');
    }
    return value;
}

bool isWordCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
}

// Six fields of one or two hexadecimal digits separated by ':', blanks allowed before a field.
// A third digit, a sign or a "0x" prefix refuses the text; what follows the sixth field is not read.
bool parseHardwareText(std::string_view text, std::uint32_t (&bytes)[6]) {
    std::size_t at = 0;
    for (int field = 0; field < 6; ++field) {
        if (field > 0) {
            if (at >= text.size() || text[at] != ':') return false;
            ++at;
        }
        skipBlanks(text, at);
        const std::size_t first = at;
        std::uint32_t value = 0;
        for (; at < text.size() && hexValue(text[at]) >= 0; ++at) {
            if (at - first == 2) return false;
            value = value << 4 | static_cast<std::uint32_t>(hexValue(text[at]));
        }
        if (at == first) return false;
        bytes[field] = value;
    }
    return true;
}

void appendHexByte(std::string& text, std::uint32_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    text += digits[(byte >> 4) & 0xF];
    text += digits[byte & 0xF];
}

}  // namespace

Ip4Address::Ip4Address(const std::string& text) {
    assign(text);
}

void Ip4Address::assign(const std::string& text) {
    std::uint32_t address = 0;
    if (parseIpAndPort(text, &address, nullptr) && text != "0.0.0.0") {
        valid_ = true;
        address_ = address;
        text_ = text;
        return;
    }
    valid_ = false;
    address_ = 0;
    text_ = "0.0.0.0";
    if (text != "0.0.0.0") {
        debug::Place("net::Ip4Address::Ip4Address").warn(L"Некорректный IP адрес '%1%'", text);
    }
}

void Ip4Address::assign(std::uint32_t address) {
    valid_ = address != 0;
    address_ = address;
    if (!valid_) {
        text_ = "0.0.0.0";
        return;
    }
    char text[16];
    char* end = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24) *end++ = '.';
        end = std::to_chars(end, std::end(text), address >> shift & 0xFF).ptr;
    }
    text_.assign(text, end);
}

IpAndPort::IpAndPort(const std::string& address, std::uint16_t port) : Ip4Address(address), port_(port) {
    updateText();
}

IpAndPort::IpAndPort(std::uint32_t address, std::uint16_t port) : port_(port) {
    assign(address);
    updateText();
}

void IpAndPort::setAddress(const std::string& address) {
    assign(address);
    updateText();
}

void IpAndPort::setPort(std::uint16_t port) {
    port_ = port;
    updateText();
}

void IpAndPort::updateText() {
    const std::string& address = getText();
    char digits[8];
    const char* end = std::to_chars(std::begin(digits), std::end(digits), port_).ptr;
    // An address text is ASCII but for what a caller wrote behind a port.
    if (std::all_of(address.begin(), address.end(), [](char c) { return c >= 0; })) {
        wideText_.assign(address.begin(), address.end());
    } else {
        wideText_ = base::widen(address);
    }
    wideText_ += L':';
    wideText_.append(static_cast<const char*>(digits), end);
}

HardwareAddress::HardwareAddress(const std::string& text) : HardwareAddress(parse(text)) {
    if (!valid_) {
        debug::Place("net::HardwareAddress::HardwareAddress")
            .warn(L"Получен некорректный аппаратный адрес '%1%'", text);
    }
}

HardwareAddress HardwareAddress::parse(std::string_view text) {
    HardwareAddress address;
    std::uint32_t bytes[6] = {};
    if (!parseHardwareText(text, bytes)) return address;
    address.valid_ = true;
    address.high_ = bytes[0] << 16 | bytes[1] << 8 | bytes[2];
    address.low_ = bytes[3] << 16 | bytes[4] << 8 | bytes[5];
    address.text_ = std::string(text);
    return address;
}

HardwareAddress::HardwareAddress(std::uint32_t /*high*/, std::uint32_t low) {
    if (low > 0xFFFFFF) {
        debug::Place("net::HardwareAddress::HardwareAddress")
            .warn(L"Получены неверные части аппаратного адреса '%08X, %08X'", vendorPrefix, low);
        return;
    }
    valid_ = true;
    high_ = vendorPrefix;
    low_ = low;
    text_ = canonicalText();
}

const char* HardwareAddress::toCharArray() const {
    if (!valid_) {
        debug::Place("net::HardwareAddress::toCharArray").warn(L"Запрошен некорректный аппаратный адрес");
    }
    return text_.c_str();
}

std::string HardwareAddress::canonicalText() const {
    std::string text;
    for (const std::uint32_t part : {high_, low_}) {
        for (int shift = 16; shift >= 0; shift -= 8) {
            if (!text.empty()) text += ':';
            appendHexByte(text, part >> shift & 0xFF);
        }
    }
    return text;
}

bool parseIpAndPort(const std::string& text, std::uint32_t* address, std::uint16_t* port) {
    const DottedScan dotted = scanOctets(text);
    if (dotted.count < 4 || !dotted.inRange()) return false;
    std::size_t at = dotted.end;
    std::uint32_t portValue = 0;
    const bool hasPort = at < text.size() && text[at] == ':' && readUnsigned(text, ++at, portValue);
    if (hasPort && portValue > 0xFFFF) return false;
    if (address) *address = dotted.address();
    if (!port) return true;
    if (!hasPort) return false;
    *port = static_cast<std::uint16_t>(portValue);
    return true;
}

bool splitIpAndPort(const std::string& text, std::string* address, std::uint16_t* port) {
    const ShapeScan scan = scanShape(text);
    if (!scan.dotted.inRange()) return false;
    if (scan.count == 4) {
        if (address) *address = text;
        return true;
    }
    if (scan.count != 6 || scan.separator != ':' || scan.port > 0xFFFF) return false;
    if (address) *address = text.substr(0, scan.dotted.end);
    if (port) *port = static_cast<std::uint16_t>(scan.port);
    return true;
}

bool isMulticast(const std::string& text) {
    const ShapeScan scan = scanShape(text);
    if (scan.count != 4 || !scan.dotted.inRange() || scan.dotted.allZero()) return false;
    const std::uint32_t first = firstOctetWithBase(text, scan.dotted.octets[0]);
    return first >= 224 && first <= 239;
}

bool isHttpUrl(const std::wstring& text) {
    if (text.size() > 255) return false;
    std::wstring_view rest(text);
    if (rest.substr(0, 4) != L"http") return false;
    rest.remove_prefix(4);
    if (!rest.empty() && rest.front() == L's') rest.remove_prefix(1);
    if (rest.substr(0, 3) != L"://") return false;
    rest.remove_prefix(3);
    // The host word may hold '-' but not '.', so the first dot after it is the one that counts.
    std::size_t at = 0;
    while (at < rest.size() && (isWordCharacter(rest[at]) || rest[at] == L'-')) ++at;
    if (at == 0 || at >= rest.size() || rest[at] != L'.') return false;
    return at + 1 < rest.size() && isWordCharacter(rest[at + 1]);
}

}  // namespace net
