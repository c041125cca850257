#pragma once
// What the alarm channel's devices have changed on loudspeakers and not given back yet, kept in a
// file of the data folder ("alarm_give_back.xml"), so that a program that ends without giving
// them back (a crash, a power cut) gives them back at its next start. Each change is on disk, the
// file written whole or not at all, before the change is made; a loudspeaker given back leaves
// the file, and the file goes once none is left. Loudspeakers taken at once share their writes:
// a write takes every record put until it starts.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "devices/VokarInfo.h"
#include "foundation/NetworkAddress.h"

namespace frm {

class GiveBackJournal {
public:
    static constexpr const wchar_t* kFileName = L"alarm_give_back.xml";
    // A record of each of 1000 loudspeakers writes 0.16 MB; a hundred thousand records, which a
    // load still reads so as to drop the stale ones, 16.4 MB.
    static constexpr std::size_t kMaximumFileSize = 32u << 20;

    // What one loudspeaker is owed.
    struct Record {
        net::HardwareAddress address;
        // It was switched to the alarm channel: it goes back to the common one.
        bool switched = false;
        // The level it had; none when it keeps the one it has.
        std::optional<device::VokarInfo::Level> level;
    };

    // The file; an empty path keeps nothing.
    explicit GiveBackJournal(std::wstring path);
    GiveBackJournal(const GiveBackJournal&) = delete;
    GiveBackJournal& operator=(const GiveBackJournal&) = delete;

    // What an earlier run left, also kept for the writes to come. A file that does not read, or
    // is of another kind, is logged and kept aside and gives nothing; a record that does not
    // read is logged and skipped.
    std::vector<Record> load();
    // Records what the loudspeaker is owed, in place of what it was owed before, and returns once
    // that is on disk (or could not be written, which is logged).
    void put(const Record& record);
    // The loudspeaker is owed nothing any more.
    void erase(const net::HardwareAddress& address);

private:
    using Key = std::pair<std::uint32_t, std::uint32_t>;
    static Key keyOf(const net::HardwareAddress& address) { return {address.getHigh(), address.getLow()}; }
    // Writes what is recorded unless a write that began after `change` was made did so already.
    void writeUntil(std::uint64_t change);
    bool write(const std::map<Key, Record>& records);

    const std::wstring path_;
    std::mutex lock_;
    std::map<Key, Record> records_;
    std::uint64_t changes_ = 0;
    // Under writeLock_: the changes on disk, and whether the last write failed.
    std::mutex writeLock_;
    std::uint64_t written_ = 0;
    bool failing_ = false;
    // A file left that could be neither read nor kept aside is never written over.
    bool blocked_ = false;
};

}  // namespace frm
