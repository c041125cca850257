#pragma once
// Whether a system service runs, asked of systemd.

#include <string>

namespace app {

// The unit of the second-generation head-end, which must not run beside this program.
constexpr const char* kSecondGenerationUnit = "melvox2.service";

// True when systemd reports the unit active. Without systemd (its run-time folder is missing),
// when systemctl cannot be run or does not answer within a few seconds: false.
bool isServiceActive(const std::string& unit, const std::string& systemdFolder = "/run/systemd/system",
                     const std::string& systemctl = "systemctl");

}  // namespace app
