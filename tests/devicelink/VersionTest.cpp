#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "devicelink/Version.h"
#include "support/LogCapture.h"

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
        {"Vokar-N 1.2.3", 0x100200, 1, 2, 3, 0, false, false},
        {"Vokar-N 254.254.65534.65534", 0x100200, 254, 254, 65534, 65534, false, false},
        {"Vokar-N   1.2.3.4", 0x100200, 1, 2, 3, 4, false, false},
        {"Tribel-T 2.1.0.0", 0x808000, 2, 1, 0, 0, false, false},
        {"Vokar-A 1.01.69", 0x300001, 1, 1, 69, 0, false, false},
        {"Something 1.2.3", 0, 1, 2, 3, 0, false, false},
        {"Vokar-N 1.0.0.7d [2022/01/02 03:04:05]", 0x100200, 1, 0, 0, 7, true, false},
        {"Vokar-N 1.0.0 D [x]", 0x100200, 1, 0, 0, 0, true, false},
        {"Vokar-N 1.0.0.1 DEBUG", 0x100200, 1, 0, 0, 1, true, false},
        {"Vokar-N 1.0.0.1 Emulator", 0x100200, 1, 0, 0, 1, false, true},
        {"Vokar-N 1.0.0.1 emulator debug", 0x100200, 1, 0, 0, 1, true, true},
        {"Vokar-N 1.0.0.1 d[", 0x100200, 1, 0, 0, 1, false, false},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.text);
        device::Version version;
        EXPECT_TRUE(device::parseVersion(c.text, &version));
        EXPECT_TRUE(device::parseVersion(c.text, nullptr));
        // The build time has tests of its own.
        const device::Version expected{c.type,  c.major,    c.minor, c.revision, c.build, version.buildTime,
                                       c.debug, c.emulator, c.text};
        EXPECT_EQ(fieldsOf(expected), fieldsOf(version));
    }
}

TEST(ParseVersion, RefusesTextsWithoutThreeNumbersInRange) {
    const std::vector<std::string> refused = {
        "Vokar-N 1.2",
        "Vokar-N",
        "Vokar-N1.2.3",
        "1.2.3.4",
        "",
        "   ",
        "Vokar-N 255.0.0.0",
        "Vokar-N 0.255.0.0",
        "Vokar-N 1.0.65535.0",
        "Vokar-N 1.0.0.65535",
        // Numbers that the C library would wrap into range are refused.
        "Vokar-N -1.0.0",
        "Vokar-N 4294967297.0.0",
    };
    for (const std::string& text : refused) {
        SCOPED_TRACE(text);
        device::Version version;
        EXPECT_FALSE(device::parseVersion(text, &version));
        EXPECT_FALSE(device::parseVersion(text, nullptr));
    }
}

TEST(ParseVersion, RefusedTextLeavesTheRecordAlone) {
    device::Version kept;
    ASSERT_TRUE(device::parseVersion("Vokar-S 3.4.5.6 debug emulator [2023-04-05 10:11:12]", &kept));
    for (const std::string text : {"Vokar-N 1.2", "Vokar-N 255.0.0.0", ""}) {
        SCOPED_TRACE(text);
        device::Version version = kept;
        EXPECT_FALSE(device::parseVersion(text, &version));
        EXPECT_EQ(fieldsOf(kept), fieldsOf(version));
    }
}

TEST(ParseVersion, FirstWordIsBoundedTo259Characters) {
    const std::string longest(259, 'V');
    device::Version version;
    EXPECT_TRUE(device::parseVersion(longest + " 1.2.3", &version));
    EXPECT_EQ(longest + " 1.2.3", version.text);

    version = device::Version();
    EXPECT_FALSE(device::parseVersion(longest + "V 1.2.3", &version));
    EXPECT_TRUE(version.text.empty());
    EXPECT_FALSE(device::parseVersion(std::string(100000, 'V') + " 1.2.3.4", &version));
    EXPECT_FALSE(device::parseVersion(std::string(100000, 'V'), nullptr));
}

TEST(ParseVersion, OnlyRangeFaultsAreLogged) {
    test::LogCapture log;
    EXPECT_FALSE(device::parseVersion("Vokar-N 1.2", nullptr));
    EXPECT_FALSE(device::parseVersion("", nullptr));
    EXPECT_TRUE(log.find(L"Ошибка диапазонов значений в версии").empty());

    EXPECT_FALSE(device::parseVersion("Vokar-N 255.0.0", nullptr));
    EXPECT_FALSE(device::parseVersion("Vokar-N 1.0.65535.0", nullptr));
    EXPECT_FALSE(device::parseVersion("Vokar-N -1.2.3.4", nullptr));
    EXPECT_TRUE(log.contains(L"Ошибка диапазонов значений в версии: 255.0.0.0", L"IMPOR"));
    EXPECT_TRUE(log.contains(L"Ошибка диапазонов значений в версии: 1.0.65535.0", L"IMPOR"));
    EXPECT_TRUE(log.contains(L"Ошибка диапазонов значений в версии: 4294967295.2.3.4", L"IMPOR"));
    EXPECT_EQ(3u, log.find(L"Ошибка диапазонов значений в версии").size());
}

// Runs each test in a time zone of its own and puts the process's zone back afterwards.
class BuildTime : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) saved_ = zone;
    }
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void useZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    static std::int64_t buildTimeOf(const std::string& text) {
        device::Version version;
        EXPECT_TRUE(device::parseVersion(text, &version));
        return version.buildTime;
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(BuildTime, EveryDateFormatIsTried) {
    useZone("UTC0");
    const std::vector<std::pair<std::string, std::int64_t>> cases = {
        {"Vokar-B 2.01.03.17 [2023-04-05 10:11:12]", 1680689472},
        {"Vokar-N 1.0.0.7d [2022/01/02 03:04:05]", 1641092645},
        {"Vokar-N 1.0.0 [Mon 01 Jan 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [Mon' 01 Jan 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [mon 1 jan 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [Monday  01 January 2024 10:00:00]", 1704103200},
        {"Vokar-N 1.0.0 [2023-04-05 10:11:12] [2000-01-01 00:00:00]", 1680689472},
        {"Vokar-N 1.0.0 x [2023-04-05 10:11:12 ] built", 1680689472},
        {"Vokar-N 1.0.0 [ 2023-04-05 10:11:12]", 0},
        {"Vokar-N 1.0.0", 0},
        {"Vokar-N 1.0.0 [", 0},
        {"Vokar-N 1.0.0 [yesterday]", 0},
        {"Vokar-N 1.0.0 [2023-13-05 10:11:12]", 0},
        {"Vokar-N 1.0.0 [2023-04-05 24:00:00]", 0},
        {"Vokar-N 1.0.0 [2023-04-05]", 0},
        {"Vokar-N 1.0.0 [2023.04.05 10:11:12]", 0},
        {"Vokar-N 1.0.0 [Mon 01 Jax 2024 10:00:00]", 0},
    };
    for (const auto& [text, time] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(time, buildTimeOf(text));
    }
}

TEST_F(BuildTime, DateIsLocalTimeWithoutDaylightSaving) {
    const std::string text = "Vokar-B 2.01.03.17 [2023-04-05 10:11:12]";
    useZone("MSK-3");
    EXPECT_EQ(1680689472 - 3 * 3600, buildTimeOf(text));
    // Central European summer time is in force on that day, but the date is read as winter time.
    useZone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(1680689472 - 3600, buildTimeOf(text));
}

TEST(ParseDateTime, GivesThePositionBehindTheDate) {
    const char* text = "2023-04-05 10:11:12] rest";
    std::tm date{};
    const char* behind = device::parseDateTime(text, "%Y-%m-%d %H:%M:%S", &date);
    ASSERT_NE(nullptr, behind);
    EXPECT_STREQ("] rest", behind);
    EXPECT_EQ(123, date.tm_year);
    EXPECT_EQ(3, date.tm_mon);
    EXPECT_EQ(5, date.tm_mday);
    EXPECT_EQ(10, date.tm_hour);
    EXPECT_EQ(11, date.tm_min);
    EXPECT_EQ(12, date.tm_sec);

    date = std::tm{};
    behind = device::parseDateTime("Fri   07 Jun 2024 00:00:60%", "%a %d %b %Y %H:%M:%S%%", &date);
    ASSERT_NE(nullptr, behind);
    EXPECT_STREQ("", behind);
    EXPECT_EQ(5, date.tm_wday);
    EXPECT_EQ(5, date.tm_mon);
    EXPECT_EQ(60, date.tm_sec);

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
        date = std::tm{};
        EXPECT_EQ(nullptr, device::parseDateTime(text, format, &date));
    }
}

}  // namespace
