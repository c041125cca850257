#pragma once
// Disables a window for a scope, so that a button cannot be pressed again while its handler
// still runs.

class wxWindow;

namespace frm {

class GuiEnabler {
public:
    explicit GuiEnabler(wxWindow* window);
    ~GuiEnabler();
    GuiEnabler(const GuiEnabler&) = delete;
    GuiEnabler& operator=(const GuiEnabler&) = delete;

private:
    wxWindow* window_;
};

}  // namespace frm
