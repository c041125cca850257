// "UrlDialog.history", the URLs entered in the URL dialog: any file either reads as a bounded list
// of distinct one-line URLs or is kept aside and never written over; a history that read, with a
// URL of the input added, is saved as a file that reads back as the same list and is saved again
// byte for byte the same.

#include <algorithm>

#include "FuzzSupport.h"
#include "app/kit/UrlHistory.h"
#include "foundation/Files.h"
#include "foundation/TextConversion.h"

namespace {

using frm::UrlHistory;

void checkEntries(const std::vector<std::wstring>& entries) {
    fuzz::require(entries.size() <= UrlHistory::kMostEntries, "a history is bounded");
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        fuzz::require(!entry->empty() && entry->size() <= UrlHistory::kLongestEntry,
                      "an entry is a bounded line");
        fuzz::require(entry->find_first_of(L"\r\n") == std::wstring::npos, "an entry is one line");
        fuzz::require(std::find(entries.begin(), entry, *entry) == entry, "an entry is listed once");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input's first line is also a URL the operator enters.
    const std::string bytes = fuzz::text(data, size);
    const std::wstring url = base::fromUtf8(bytes.substr(0, bytes.find('\n')));

    fuzz::clearScratch();
    const std::wstring path = fuzz::scratchFile("UrlDialog.history");
    base::writeFile(path, bytes);
    UrlHistory history(path);
    checkEntries(history.entries());
    fuzz::require(base::pathExists(path) || history.entries().empty(), "a history kept aside starts empty");
    history.add(url);
    // Entered again, the latest URL makes the history save in any case.
    const std::wstring latest =
        history.entries().empty() ? L"http://127.0.0.1/stream" : history.entries().front();
    history.add(latest);
    checkEntries(history.entries());
    history.save();

    const std::string saved = base::readFile(path);
    UrlHistory again(path);
    fuzz::require(again.entries() == history.entries(), "a saved history reads back as the same list");
    again.add(std::wstring(again.entries().front()));
    again.save();
    fuzz::require(base::readFile(path) == saved, "a history read back is saved as it was");
    return 0;
}
