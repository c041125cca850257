#pragma once
// A spin box's number as the operator left it, told apart from what the window toolkit did to it:
// the toolkit turns an emptied box into its lowest number ("0") as the box loses the focus or takes
// Enter, which is before a click on a button is handled. An emptied box keeps the number it
// showed, so that emptying the idle time never switches the idle lock off.

#include <string>

namespace frm {

class SpinBoxEdit {
public:
    explicit SpinBoxEdit(int shown) : shown_(shown) {}

    // A key was pressed in the box, before the change of text it makes; `character` is the
    // character it types, 0 for a key that types none (Backspace, Enter, Tab, an arrow).
    void keyPressed(wchar_t character);
    // The box's text changed: typed, pasted, stepped with an arrow, or filled in by the toolkit.
    void textChanged(const std::wstring& text);
    // Whether the box holds the number the toolkit put into it after the operator emptied it.
    bool filledByToolkit() const { return filled_; }
    // The number to keep for the box that holds `text` and reads as `value`.
    int value(const std::wstring& text, int value) const;

private:
    const int shown_;
    bool emptied_ = false;
    bool filled_ = false;
    bool typing_ = false;
};

}  // namespace frm
