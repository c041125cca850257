#pragma once
// The process's time zone for one test, given by its rule so that no zone files are needed; the
// zone from before is put back when the object goes.

#include <optional>
#include <string>

namespace test {

class TimeZone {
public:
    // Central European time: summer time from the last Sunday of March, 02:00, to the last
    // Sunday of October, 03:00.
    static constexpr const char* centralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

    explicit TimeZone(const char* rule);
    ~TimeZone();
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

    // Changes the zone again, for a test that compares several.
    static void use(const char* rule);

private:
    std::optional<std::string> saved_;
};

}  // namespace test
