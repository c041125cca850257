#pragma once
// The lock of the window's shared state: what other threads read of the window (the chosen
// devices, the zones) is changed on the GUI thread under it and read elsewhere under it.
// Controls themselves are touched on the GUI thread only: the toolkit's own GUI mutex guards
// nothing under GTK 3.

#include <mutex>

namespace frm {

class GuiLocker {
public:
    GuiLocker() : guard_(mutex()) {}
    GuiLocker(const GuiLocker&) = delete;
    GuiLocker& operator=(const GuiLocker&) = delete;

private:
    static std::recursive_mutex& mutex();
    std::lock_guard<std::recursive_mutex> guard_;
};

}  // namespace frm
