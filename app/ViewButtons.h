#pragma once
// The main window's view buttons: which of them the operator may press.

#include <cstdint>

namespace frm {

// The views of the main window, in the order of their buttons.
enum class View : unsigned {
    devices,
    playlist,
    radio,
    scheduler,
    microphone,
    serviceMessages,
    alarmMessages,
    drives
};
constexpr unsigned kViewCount = 8;

// The views whose panels exist, a bit per view (bit n for View n).
using ViewSet = std::uint32_t;
constexpr ViewSet viewBit(View view) {
    return ViewSet(1) << static_cast<unsigned>(view);
}

// A button is enabled while the window is unlocked and its view exists; the device view always
// exists. A view without a panel is disabled rather than shown empty.
bool viewEnabled(View view, ViewSet existing, bool locked);

}  // namespace frm
