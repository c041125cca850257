#pragma once
// Freezes a window's drawing for a scope, so that a list refilled row by row is drawn once.

class wxWindow;

namespace frm {

class GuiFreezer {
public:
    explicit GuiFreezer(wxWindow* window);
    // Thaws the window if it is still frozen, logging "Force to thaw".
    ~GuiFreezer();
    GuiFreezer(const GuiFreezer&) = delete;
    GuiFreezer& operator=(const GuiFreezer&) = delete;

    // Thaws before the scope ends.
    void thaw();

private:
    wxWindow* window_;
    bool frozen_ = false;
};

}  // namespace frm
