#include "support/TimeZone.h"

#include <cstdlib>
#include <ctime>

namespace test {

TimeZone::TimeZone(const char* rule) {
    if (const char* zone = std::getenv("TZ")) saved_ = zone;
    use(rule);
}

TimeZone::~TimeZone() {
    if (saved_) {
        setenv("TZ", saved_->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

void TimeZone::use(const char* rule) {
    setenv("TZ", rule, 1);
    tzset();
}

}  // namespace test
