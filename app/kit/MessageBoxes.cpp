#include "app/kit/MessageBoxes.h"

namespace frm {
namespace {

int gravity(debug::MessageIcon icon) {
    switch (icon) {
        case debug::MessageIcon::information:
            return 0;
        case debug::MessageIcon::warning:
            return 1;
        case debug::MessageIcon::error:
            return 2;
    }
    return 0;
}

// The form of "сообщение" after the number.
const wchar_t* messagesWord(std::size_t count) {
    const std::size_t lastTwo = count % 100;
    const std::size_t last = count % 10;
    if (lastTwo >= 11 && lastTwo <= 14) return L"сообщений";
    if (last == 1) return L"сообщение";
    if (last >= 2 && last <= 4) return L"сообщения";
    return L"сообщений";
}

}  // namespace

std::wstring moreInTheLog(std::size_t count) {
    return L"… и ещё " + std::to_wstring(count) + L" " + messagesWord(count) + L" в журнале";
}

std::optional<MessageBoxes::Box> MessageBoxes::offer(const Box& box) {
    if (!open_) {
        open_ = true;
        return box;
    }
    ++waiting_;
    if (!gravest_ || gravity(box.icon) > gravity(gravest_->icon)) gravest_ = box;
    return std::nullopt;
}

std::optional<MessageBoxes::Box> MessageBoxes::closed() {
    if (!gravest_) {
        open_ = false;
        return std::nullopt;
    }
    Box next = std::move(*gravest_);
    if (waiting_ > 1) next.text += L"\n\n" + moreInTheLog(waiting_ - 1);
    gravest_.reset();
    waiting_ = 0;
    return next;
}

void MessageBoxes::dropAll() {
    open_ = false;
    gravest_.reset();
    waiting_ = 0;
}

}  // namespace frm
