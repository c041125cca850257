#include "propertypanel/ConsoleLog.h"

#include <algorithm>

#include "foundation/TextConversion.h"

namespace frm {

std::optional<ConsoleLog::Change> ConsoleLog::take(const std::string& line) {
    if (line.compare(0, 3, "ERR") != 0) return std::nullopt;
    std::string kept = line;
    kept.erase(std::remove_if(kept.begin(), kept.end(), [](char c) { return c == '\r' || c == '\n'; }),
               kept.end());
    Change change;
    lines_.push_back(base::fromUtf8(kept));
    change.append = (lines_.size() > 1 ? L"\n" : L"") + lines_.back();
    if (lines_.size() > kMaximumLines) {
        // The oldest line goes with the line feed after it.
        change.dropHead = lines_.front().size() + 1;
        lines_.pop_front();
    }
    return change;
}

void ConsoleLog::clear() {
    lines_.clear();
}

std::wstring ConsoleLog::text() const {
    std::wstring text;
    for (std::size_t index = 0; index < lines_.size(); ++index) {
        if (index > 0) text += L'\n';
        text += lines_[index];
    }
    return text;
}

}  // namespace frm
