#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "devicelink/Version.h"
#include "support/LogCapture.h"
#include "support/TimeZone.h"

namespace {

// Every field of a record, for whole-record comparisons with readable failures.
auto fieldsOf(const device::Version& v) {
    return std::make_tuple(v.type, unsigned(v.major), unsigned(v.minor), unsigned(v.revision),
                           unsigned(v.build), v.buildTime, v.debug, v.emulator, v.text);
}

struct VersionCase {
    std::string text;
    device::DeviceType type;
    std::uint8_t major, minor;
    std::uint16_t revision, build;
    bool debug, emulator;
};

TEST(ParseVersion, AcceptedTextsGiveNumbersFlagsAndType) {
    const std::vector<VersionCase> cases = {
        {"Vokar-B 2.01.03.17 [2023-04-05 10:11:12]", 0x500040, 2, 1, 3, 17, false, false},
        {"Vokar-N 254.254.65534.65534", 0x100200, 254, 254, 65534, 65534, false, false},
        {"Vokar-N   1.2.3.4", 0x100200, 1, 2, 3, 4, false, false},
        {"Something 1.2.3", 0, 1, 2, 3, 0, false, false},
        // The longest first word.
        {std::string(259, 'V') + " 1.2.3", 0, 1, 2, 3, 0, false, false},
        {"Vokar-N 1.0.0.7d [2022/01/02 03:04:05]", 0x100200, 1, 0, 0, 7, true, false},
        {"Vokar-N 1.0.0 D [x]", 0x100200, 1, 0, 0, 0, true, false},
        {"Vokar-N 1.0.0.1 DEBUG", 0x100200, 1, 0, 0, 1, true, false},
        {"Vokar-N 1.0.0.1 Emulator", 0x100200, 1, 0, 0, 1, false, true},
        {"Vokar-N 1.0.0.1 d[", 0x100200, 1, 0, 0, 1, false, false},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        device::Version version;
        EXPECT_TRUE(device::parseVersion(c.text, &version));
        EXPECT_TRUE(device::parseVersion(c.text, nullptr));
        // The build time has tests of its own.
        const device::Version expected{c.type,  c.major,    c.minor, c.revision, c.build, version.buildTime,
                                       c.debug, c.emulator, c.text};
        EXPECT_EQ(fieldsOf(expected), fieldsOf(version));
    }
}

// A refused text leaves the record alone; only numbers out of range are logged.
TEST(ParseVersion, RefusesTextsWithoutThreeNumbersInRange) {
    test::LogCapture log;
    device::Version kept;
    ASSERT_TRUE(device::parseVersion("Vokar-S 3.4.5.6 debug emulator [2023-04-05 10:11:12]", &kept));
    const std::vector<std::pair<std::string, std::wstring>> refused = {
        {"Vokar-N 1.2", L""},
        {"Vokar-N", L""},
        {"Vokar-N1.2.3", L""},
        {"1.2.3.4", L""},
        {"", L""},
        {"   ", L""},
        {std::string(260, 'V') + " 1.2.3", L""},
        {std::string(100000, 'V') + " 1.2.3.4", L""},
        {"Vokar-N 255.0.0", L"255.0.0.0"},
        {"Vokar-N 0.255.0.0", L"0.255.0.0"},
        {"Vokar-N 1.0.65535.0", L"1.0.65535.0"},
        {"Vokar-N 1.0.0.65535", L"1.0.0.65535"},
        // Numbers that the C library would wrap into range are refused.
        {"Vokar-N -1.0.0", L"4294967295.0.0.0"},
        {"Vokar-N 4294967297.0.0", L"4294967295.0.0.0"},
    };
    const std::wstring rangeFault = L"Ошибка диапазонов значений в версии";
    for (const auto& [text, logged] : refused) {
        SCOPED_TRACE(text.substr(0, 60));
        const std::size_t before = log.find(rangeFault).size();
        device::Version version = kept;
        EXPECT_FALSE(device::parseVersion(text, &version));
        EXPECT_FALSE(device::parseVersion(text, nullptr));
        EXPECT_EQ(fieldsOf(kept), fieldsOf(version));
        // Only a real parse says so; the mere test of a status packet writes nothing.
        EXPECT_EQ(log.find(rangeFault).size() - before, logged.empty() ? 0u : 1u);
        if (!logged.empty()) {
            EXPECT_TRUE(log.contains(rangeFault + L": " + logged, L"IMPOR"));
        }
    }
}

std::int64_t buildTimeOf(const std::string& text) {
    device::Version version;
    EXPECT_TRUE(device::parseVersion(text, &version));
    return version.buildTime;
}

TEST(BuildTime, EveryDateFormatIsTriedAsLocalWinterTime) {
    const test::TimeZone zone("UTC0");
    const std::vector<std::pair<std::string, std::int64_t>> cases = {
        {"Vokar-B 2.01.03.17 [2023-04-05 10:11:12]", 1680689472},
        {"Vokar-N 1.0.0.7d [2022/01/02 03:04:05]", 1641092645},
        {"Vokar-N 1.0.0 [Mon 01 Jan 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [Mon' 01 Jan 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [mon 1 jan 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [Monday  01 January 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [2023-04-05 10:11:12] [2000-01-01 00:00:00]", 1680689472},
        {"Vokar-N 1.0.0 x [2023-04-05 10:11:12 ] built", 1680689472},
        {"Vokar-N 1.0.0", 0},
        {"Vokar-N 1.0.0 [", 0},
        {"Vokar-N 1.0.0 [yesterday]", 0},
        {"Vokar-N 1.0.0 [2023-13-05 10:11:12]", 0},
        {"Vokar-N 1.0.0 [Mon 01 Jax 2024 10:00:00]", 0},
    };
    for (const auto& [text, time] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(time, buildTimeOf(text));
    }

    // The date is local time without daylight saving: central European summer time is in force
    // on that day, but the date is read as winter time.
    const std::string text = "Vokar-B 2.01.03.17 [2023-04-05 10:11:12]";
    test::TimeZone::use("MSK-3");
    EXPECT_EQ(1680689472 - 3 * 3600, buildTimeOf(text));
    test::TimeZone::use(test::TimeZone::centralEurope);
    EXPECT_EQ(1680689472 - 3600, buildTimeOf(text));
}

TEST(ParseDateTime, GivesThePositionBehindTheDate) {
    const auto fields = [](const std::tm& date) {
        return std::make_tuple(date.tm_year, date.tm_mon, date.tm_mday, date.tm_hour, date.tm_min,
                               date.tm_sec, date.tm_wday);
    };
    std::tm date{};
    const char* text = "2023-04-05 10:11:12] rest";
    EXPECT_STREQ("] rest", device::parseDateTime(text, "%Y-%m-%d %H:%M:%S", &date));
    EXPECT_EQ(std::make_tuple(123, 3, 5, 10, 11, 12, 0), fields(date));
    date = std::tm{};
    EXPECT_STREQ("", device::parseDateTime("Fri   07 Jun 2024 00:00:60%", "%a %d %b %Y %H:%M:%S%%", &date));
    EXPECT_EQ(std::make_tuple(124, 5, 7, 0, 0, 60, 5), fields(date));

    const std::vector<std::pair<const char*, const char*>> refused = {
        {"2023-04-05 10:11:12", "%Y/%m/%d %H:%M:%S"},
        {"2023-04-05 10:61:12", "%Y-%m-%d %H:%M:%S"},
        {"2023-00-05", "%Y-%m-%d"},
        {"2023-04-32", "%Y-%m-%d"},
        {"2023-04-", "%Y-%m-%d"},
        {"", "%Y"},
        {"Mon' 01", "%a %d"},
        {"2023", "%Q"},
        {"2023", "%"},
    };
    for (const auto& [text, format] : refused) {
        SCOPED_TRACE(std::string(text) + " / " + format);
        EXPECT_EQ(nullptr, device::parseDateTime(text, format, &date));
    }
}

}  // namespace
