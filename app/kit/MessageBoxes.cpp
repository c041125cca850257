#include "app/kit/MessageBoxes.h"

#include <algorithm>

namespace frm {
namespace {

constexpr const wchar_t* kFatal = L"FATAL";

// By the level of a log call's text; a box of another caption by its icon.
int gravity(const MessageBoxes::Box& box) {
    if (box.caption == kFatal) return 3;
    switch (box.icon) {
        case debug::MessageIcon::information:
            return 0;
        case debug::MessageIcon::warning:
            return 1;
        case debug::MessageIcon::error:
            return 2;
    }
    return 0;
}

std::size_t lines(const std::wstring& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n')) + 1;
}

// Whether `later` is shown rather than `shown` among the waiting texts.
bool outranks(const MessageBoxes::Box& later, const MessageBoxes::Box& shown) {
    const int laterGravity = gravity(later);
    const int shownGravity = gravity(shown);
    if (laterGravity != shownGravity) return laterGravity > shownGravity;
    return lines(later.text) >= lines(shown.text);
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
    if (box.caption == kFatal) {
        fatal_.push_back(box);
        return std::nullopt;
    }
    ++others_;
    if (!gravest_ || outranks(box, *gravest_)) gravest_ = box;
    return std::nullopt;
}

std::optional<MessageBoxes::Box> MessageBoxes::closed() {
    if (!fatal_.empty()) {
        Box next = std::move(fatal_.front());
        fatal_.pop_front();
        return next;
    }
    if (!gravest_) {
        open_ = false;
        return std::nullopt;
    }
    Box next = std::move(*gravest_);
    if (others_ > 1) next.text += L"\n\n" + moreInTheLog(others_ - 1);
    gravest_.reset();
    others_ = 0;
    return next;
}

void MessageBoxes::dropAll() {
    open_ = false;
    fatal_.clear();
    gravest_.reset();
    others_ = 0;
}

}  // namespace frm
