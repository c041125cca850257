#pragma once
// The URLs the operator entered in the URL dialog, the latest first, kept in a UTF-8 text file
// with one URL a line ("UrlDialog.history" in the data folder).

#include <cstddef>
#include <string>
#include <vector>

namespace frm {

class UrlHistory {
public:
    // More than an operator looks through; older entries are dropped.
    static constexpr std::size_t kMostEntries = 100;
    // Longer lines are no URL the dialog took; they are left out when reading.
    static constexpr std::size_t kLongestEntry = 2048;

    // Reads the file; a missing file is an empty history. A file that cannot be read or is not
    // UTF-8 text is kept aside (base::keepAside) and reported; one that cannot be put aside
    // either is never written over.
    explicit UrlHistory(const std::wstring& path);

    const std::vector<std::wstring>& entries() const { return entries_; }
    // Puts the URL first; an earlier entry of the same URL goes. One the file cannot hold as a
    // line (empty, too long, holding a line break or a NUL) is not entered.
    void add(const std::wstring& url);
    // Writes the file when the history changed; a failure is reported.
    void save() const;

private:
    const std::wstring path_;
    std::vector<std::wstring> entries_;
    bool changed_ = false;
    bool mustNotSave_ = false;
};

}  // namespace frm
