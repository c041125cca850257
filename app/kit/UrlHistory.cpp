#include "app/kit/UrlHistory.h"

#include <algorithm>

#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

// What one line of the file holds as it was entered: a line break would split the entry, and a
// NUL makes the file read as damaged.
bool isEntry(const std::wstring& url) {
    return !url.empty() && url.size() <= UrlHistory::kLongestEntry &&
           url.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos;
}

}  // namespace

UrlHistory::UrlHistory(const std::wstring& path) : path_(path) {
    const debug::Place place("frm::UrlHistory::UrlHistory");
    if (!base::pathExists(path)) return;
    std::string bytes;
    bool readable = true;
    try {
        bytes = base::readFile(path);
    } catch (const std::exception&) {
        readable = false;
    }
    std::wstring text = base::fromUtf8(bytes);
    // Text that does not come back byte for byte was not UTF-8.
    if (!readable || bytes.find('\0') != std::string::npos || base::toUtf8(text) != bytes) {
        const std::wstring aside = base::keepAside(path);
        if (aside.empty()) {
            mustNotSave_ = true;
            place.warn(L"Файл '%1%' повреждён и не может быть переименован; он не будет перезаписан", path);
        } else {
            place.warn(L"Файл '%1%' повреждён и сохранён как '%2%'", path, aside);
        }
        return;
    }
    std::size_t begin = 0;
    while (begin < text.size() && entries_.size() < kMostEntries) {
        std::size_t end = text.find(L'\n', begin);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!isEntry(line)) continue;
        if (std::find(entries_.begin(), entries_.end(), line) == entries_.end()) entries_.push_back(line);
    }
}

void UrlHistory::add(const std::wstring& url) {
    if (!isEntry(url)) return;
    entries_.erase(std::remove(entries_.begin(), entries_.end(), url), entries_.end());
    entries_.insert(entries_.begin(), url);
    if (entries_.size() > kMostEntries) entries_.resize(kMostEntries);
    changed_ = true;
}

void UrlHistory::save() const {
    const debug::Place place("frm::UrlHistory::save");
    if (!changed_) return;
    if (mustNotSave_) {
        place.warn(L"Файл '%1%' не сохранён: он был повреждён", path_);
        return;
    }
    std::wstring text;
    for (const std::wstring& entry : entries_) text += entry + L"\n";
    const base::AtomicWriteResult result = base::writeFileAtomically(path_, base::toUtf8(text));
    if (!result.ok()) place.error(L"Файл '%1%' не сохранён (ошибка %2%)", path_, result.systemError);
}

}  // namespace frm
