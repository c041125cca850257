#pragma once
// The error lines that the shown device sends of its own accord ("ERR..."), kept for the debug
// page's error-log field: the newest lines only, each decoded from UTF-8 leniently, and the
// change that the field takes for each new line, so that it is appended rather than rewritten.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace frm {

class ConsoleLog {
public:
    static constexpr std::size_t kMaximumLines = 1000;

    // The field's edit: drop its first characters, then append the text.
    struct Change {
        std::size_t dropHead = 0;
        std::wstring append;
    };

    // Keeps the line when it is an error line, without its carriage returns and line feeds;
    // nothing otherwise.
    std::optional<Change> take(const std::string& line);
    void clear();

    // The lines joined by line feeds, without one at the end.
    std::wstring text() const;
    std::size_t size() const { return lines_.size(); }

private:
    std::deque<std::wstring> lines_;
};

}  // namespace frm
