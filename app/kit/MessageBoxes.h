#pragma once
// Which message box the operator sees next, decided without the window: one box at a time. A text
// that comes while a box is open waits. Every FATAL text that waited gets a box of its own, in the
// order they came; then the box after them shows the gravest of the other waiting texts and sums
// up the rest in one line, for the log keeps them all. Among equally grave texts it shows the one
// that says most: the one of more lines (a summary of several failures), else the latest. So a
// flood of warnings opens one box after another, never one inside another, and what waits is the
// FATAL texts, one text and a count, whatever the flood's size.

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "foundation/LogCalls.h"

namespace frm {

class MessageBoxes {
public:
    struct Box {
        // The level name of a log call's text ("NOTICE", "WARN", "ERROR", "FATAL"), or a title.
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
    std::size_t waiting() const { return fatal_.size() + others_; }

private:
    bool open_ = false;
    // The FATAL texts, each shown.
    std::deque<Box> fatal_;
    // The one of the other texts that the next box shows, and how many of them wait in all.
    std::optional<Box> gravest_;
    std::size_t others_ = 0;
};

// "… и ещё 3 сообщения в журнале": the line that sums up `count` texts not shown.
std::wstring moreInTheLog(std::size_t count);

// The text with every line that `widthOf` finds wider than `width` broken into lines that fit: at
// the last space or tab that fits, else (a word wider than the line, such as a long name or path)
// inside the word, so that no part of the text lies beyond the width. The breaking blank goes.
std::wstring fitToWidth(const std::wstring& text, int width,
                        const std::function<int(const std::wstring&)>& widthOf);

}  // namespace frm
