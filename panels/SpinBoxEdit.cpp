#include "panels/SpinBoxEdit.h"

#include "panels/SettingsChecks.h"

namespace frm {

void SpinBoxEdit::keyPressed(wchar_t character) {
    typing_ = character >= L' ' && character != 0x7f;
}

void SpinBoxEdit::textChanged(const std::wstring& text) {
    const bool emptied = isEmptiedSpinText(text);
    // Only the toolkit fills an emptied box with no character typed into it.
    filled_ = !emptied && emptied_ && !typing_;
    emptied_ = emptied;
    typing_ = false;
}

int SpinBoxEdit::value(const std::wstring& text, int value) const {
    return filled_ ? shown_ : spinValue(text, value, shown_);
}

}  // namespace frm
