#pragma once
// Which message box the operator sees next, decided without the window: one box at a time. A text
// that comes while a box is open waits; the box after it shows the gravest of the waiting texts
// (the first of them among equals) and sums up the others in one line, for the log keeps them
// all. So a flood of warnings opens one box after another, never one inside another, and what
// waits is one text and a count, whatever the flood's size.

#include <cstddef>
#include <optional>
#include <string>

#include "foundation/LogCalls.h"

namespace frm {

class MessageBoxes {
public:
    struct Box {
        std::wstring caption;
        std::wstring text;
        debug::MessageIcon icon = debug::MessageIcon::information;
    };

    // A text to show: the box to open now, or none while a box is open (the text then waits).
    std::optional<Box> offer(const Box& box);
    // The open box was closed: the next one, or none when nothing waits.
    std::optional<Box> closed();
    // The open box was closed and what waits is dropped: the dialogs are closing.
    void dropAll();

    bool open() const { return open_; }
    std::size_t waiting() const { return waiting_; }

private:
    bool open_ = false;
    std::optional<Box> gravest_;
    std::size_t waiting_ = 0;
};

// "… и ещё 3 сообщения в журнале": the line that sums up `count` texts not shown.
std::wstring moreInTheLog(std::size_t count);

}  // namespace frm
