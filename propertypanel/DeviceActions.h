#pragma once
// What the common page's device actions tell the operator, decided without the window: the line
// measurement's outcome, the device test's refusals in order, the firmware update's question
// before a forced retry and its list of failed devices.

#include <optional>
#include <string>
#include <vector>

namespace frm::actions {

enum class Level { notice, warn, error };

struct Report {
    Level level = Level::notice;
    std::wstring text;
    bool operator==(const Report& other) const { return level == other.level && text == other.text; }
};

// Whether line 1 and line 2 are within the norm.
Report lineMeasurement(bool line1, bool line2);

// The device test: a test that runs, then the device's own playing refuse it; otherwise it is
// started, and `startFailure` is the refusal code of a start that failed ("testIsRunning",
// "testFailure", ...).
struct DeviceTestState {
    bool running = false;
    bool internalPlaying = false;
};
// Nothing when the test may be started.
std::optional<Report> deviceTestRefusal(const DeviceTestState& state);
Report deviceTestStarted(const std::optional<std::wstring>& startFailure);

// The question before a forced update after the refusal `code`.
std::wstring forceQuestion(const std::wstring& code);
// Each failed device's name in double quotes after a tab.
std::wstring failedDeviceList(const std::vector<std::wstring>& names);

}  // namespace frm::actions
