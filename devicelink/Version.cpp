#include "devicelink/Version.h"

#include <algorithm>
#include <clocale>
#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "foundation/Place.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

using base::scan::containsIgnoringCase;
using base::scan::equalIgnoringCase;
using base::scan::isBlank;
using base::scan::isDigit;

// The model word in front of the numbers; a longer first word makes the text no version text.
constexpr std::size_t longestVersionWord = 259;

const char* const buildTimeFormats[] = {
    "%Y-%m-%d %H:%M:%S",
    "%Y/%m/%d %H:%M:%S",
    "%a %d %b %Y %H:%M:%S",
    "%a' %d %b %Y %H:%M:%S",
};

struct Name {
    std::string text;
    int value;
};

// The weekday (%a) or month (%b) names, full and abbreviated, of the process-wide locale.
std::vector<Name> namesOfProcessLocale(char conversion) {
    std::locale locale = std::locale::classic();
    if (const char* name = std::setlocale(LC_ALL, nullptr)) {
        try {
            locale = std::locale(name);
        } catch (const std::runtime_error&) {
            // A name the C++ library does not know: the "C" names are the best guess.
        }
    }
    static const char* const weekdayForms[] = {"%A", "%a"};
    static const char* const monthForms[] = {"%B", "%b"};
    const bool weekday = conversion == 'a';
    const int count = weekday ? 7 : 12;
    std::vector<Name> names;
    for (int value = 0; value < count; ++value) {
        std::tm date{};
        (weekday ? date.tm_wday : date.tm_mon) = value;
        for (const char* form : weekday ? weekdayForms : monthForms) {
            std::ostringstream stream;
            stream.imbue(locale);
            stream << std::put_time(&date, form);
            if (!stream.str().empty()) names.push_back({stream.str(), value});
        }
    }
    // The longest name that matches wins, so "Mayo" is not read as "May".
    std::stable_sort(names.begin(), names.end(),
                     [](const Name& a, const Name& b) { return a.text.size() > b.text.size(); });
    return names;
}

bool readName(std::string_view text, std::size_t& at, char conversion, int& value) {
    for (const Name& name : namesOfProcessLocale(conversion)) {
        if (equalIgnoringCase(text.substr(at, name.text.size()), name.text)) {
            value = name.value;
            at += name.text.size();
            return true;
        }
    }
    return false;
}

bool readNumber(std::string_view text, std::size_t& at, std::size_t maxDigits, int low, int high,
                int& value) {
    std::uint64_t number = 0;
    std::size_t end = at;
    if (!base::scan::readDigits(text, end, 10, 99999, number, maxDigits)) return false;
    if (number < static_cast<std::uint64_t>(low) || number > static_cast<std::uint64_t>(high)) return false;
    at = end;
    value = static_cast<int>(number);
    return true;
}

bool readConversion(std::string_view text, std::size_t& at, char conversion, std::tm& record) {
    switch (conversion) {
        case 'Y': {
            int year = 0;
            if (!readNumber(text, at, 4, 0, 9999, year)) return false;
            record.tm_year = year - 1900;
            return true;
        }
        case 'm': {
            int month = 0;
            if (!readNumber(text, at, 2, 1, 12, month)) return false;
            record.tm_mon = month - 1;
            return true;
        }
        case 'd':
            return readNumber(text, at, 2, 1, 31, record.tm_mday);
        case 'H':
            return readNumber(text, at, 2, 0, 23, record.tm_hour);
        case 'M':
            return readNumber(text, at, 2, 0, 59, record.tm_min);
        case 'S':
            return readNumber(text, at, 2, 0, 60, record.tm_sec);
        case 'a':
            return readName(text, at, conversion, record.tm_wday);
        case 'b':
            return readName(text, at, conversion, record.tm_mon);
        case '%':
            return at < text.size() && text[at++] == '%';
        default:
            return false;
    }
}

}  // namespace

const char* parseDateTime(const char* position, const char* format, std::tm* record) {
    if (position == nullptr || format == nullptr || record == nullptr) return nullptr;
    const std::string_view text(position);
    std::size_t at = 0;
    for (const char* f = format; *f != '\0'; ++f) {
        if (isBlank(*f)) {
            base::scan::skipBlanks(text, at);
        } else if (*f == '%') {
            if (f[1] == '\0' || !readConversion(text, at, *++f, *record)) return nullptr;
        } else if (at >= text.size() || text[at++] != *f) {
            return nullptr;
        }
    }
    return position + at;
}

bool parseVersion(const std::string& text, Version* out) {
    std::size_t at = 0;
    std::string_view word;
    if (!base::scan::readWord(text, at, longestVersionWord, word)) return false;
    std::uint32_t numbers[4] = {};
    int count = 0;
    for (; count < 4; ++count) {
        if (count > 0) {
            if (at >= text.size() || text[at] != '.') break;
            ++at;
        }
        if (!base::scan::readUnsigned(text, at, numbers[count])) break;
    }
    if (count < 3) return false;

    if (numbers[0] >= 255 || numbers[1] >= 255 || numbers[2] >= 65535 || numbers[3] >= 65535) {
        // Only tested (a status packet being recognised): no line, so that a flood writes none.
        if (out == nullptr) return false;
        debug::Place("device::parseVersion")
            .important(L"Ошибка диапазонов значений в версии: %1%.%2%.%3%.%4%", numbers[0], numbers[1],
                       numbers[2], numbers[3]);
        return false;
    }
    if (out == nullptr) return true;

    Version version;
    version.debug = containsIgnoringCase(text, "debug") || containsIgnoringCase(text, "d [");
    version.emulator = containsIgnoringCase(text, "emulator");
    const std::size_t bracket = text.find('[');
    if (bracket != std::string::npos) {
        std::tm date{};
        date.tm_isdst = 0;
        for (const char* format : buildTimeFormats) {
            if (parseDateTime(text.c_str() + bracket + 1, format, &date) != nullptr) {
                version.buildTime = static_cast<std::int64_t>(std::mktime(&date));
                break;
            }
        }
    }
    version.type = fromText(text);
    version.major = static_cast<std::uint8_t>(numbers[0]);
    version.minor = static_cast<std::uint8_t>(numbers[1]);
    version.revision = static_cast<std::uint16_t>(numbers[2]);
    version.build = static_cast<std::uint16_t>(numbers[3]);
    version.text = text;
    *out = version;
    return true;
}

}  // namespace device
