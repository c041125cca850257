#pragma once
// The daily log files as the settings dialog's log viewer shows them.

#include <cstddef>
#include <string>
#include <vector>

namespace frm {

// A log file of this size or larger is not shown.
constexpr std::size_t kLogViewLimit = 2 * 1024 * 1024;

// The names without extension of the folder's ".log" files, sorted, so that the newest day
// ("YYYYMMDD") comes last.
std::vector<std::wstring> logDates(const std::wstring& folder);

struct LogFileText {
    enum Status { loaded, missing, unreadable, tooLarge };
    Status status = missing;
    // The content when loaded: UTF-8 read leniently, every invalid byte one U+FFFD, so that a
    // line cut by the writer or a stray byte never empties the view.
    std::wstring text;
};

// Reads at most kLogViewLimit bytes, so that the file of today, which grows while it is read,
// is never taken beyond the limit.
LogFileText readLogFile(const std::wstring& path);

}  // namespace frm
