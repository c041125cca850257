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

bool isBlank(wchar_t character) {
    return character == L' ' || character == L'\t';
}

// The longest start of the line that fits, one character at least.
std::size_t fittingLength(const std::wstring& line, int width,
                          const std::function<int(const std::wstring&)>& widthOf) {
    std::size_t fits = 1;
    std::size_t tooLong = line.size() + 1;
    while (tooLong - fits > 1) {
        const std::size_t middle = fits + (tooLong - fits) / 2;
        if (widthOf(line.substr(0, middle)) <= width) {
            fits = middle;
        } else {
            tooLong = middle;
        }
    }
    return fits;
}

void appendFitted(std::wstring line, int width, const std::function<int(const std::wstring&)>& widthOf,
                  std::wstring& text) {
    while (widthOf(line) > width) {
        const std::size_t fits = fittingLength(line, width, widthOf);
        std::size_t cut = fits;
        if (fits < line.size() && isBlank(line[fits])) {
            cut = fits;
        } else if (const std::size_t blank = line.find_last_of(L" \t", fits - 1);
                   blank != std::wstring::npos && blank > 0) {
            cut = blank;
        }
        text += line.substr(0, cut) + L'\n';
        line.erase(0, cut < line.size() && isBlank(line[cut]) ? cut + 1 : cut);
    }
    text += line;
}

}  // namespace

std::wstring fitToWidth(const std::wstring& text, int width,
                        const std::function<int(const std::wstring&)>& widthOf) {
    if (width <= 0) return text;
    std::wstring fitted;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(L'\n', start);
        appendFitted(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start), width,
                     widthOf, fitted);
        if (end == std::wstring::npos) return fitted;
        fitted += L'\n';
        start = end + 1;
    }
}

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
