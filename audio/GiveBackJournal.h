#pragma once
// What the alarm channel's devices have changed on loudspeakers and not given back yet, kept in a
// file of the data folder ("alarm_give_back.xml"), so that a program that ends without giving
// them back (a crash, a power cut) gives them back at its next start. A change is recorded at
// once and written by the journal's own writer thread beside the commands to the loudspeakers,
// so that an alarm never waits for the disk; a program killed while a write is pending or
// stalls loses the changes that write did not hold. The file is written whole or not at all; a
// loudspeaker given back leaves it, and the file goes once none is left. Changes made at once
// share their writes: a write takes every change made until it starts.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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
    // A write that takes longer is logged as slow, and at the end no further write waits for it.
    static constexpr auto kSlowWrite = std::chrono::seconds(1);

    // What one loudspeaker is owed.
    struct Record {
        net::HardwareAddress address;
        // It was switched to the alarm channel: it goes back to the common one.
        bool switched = false;
        // The level it had; none when it keeps the one it has.
        std::optional<device::VokarInfo::Level> level;
        // The operator was told at a start that a run left it; not told again at the next.
        bool told = false;
    };

    // Puts the text whole at the path in place of what stands there, or removes the file when the
    // text is empty; false when that failed.
    using Writer = std::function<bool(const std::wstring& path, const std::string& text)>;
    // The writer of the program: an atomic replacement.
    static bool writeFile(const std::wstring& path, const std::string& text);

    // The file; an empty path keeps nothing.
    explicit GiveBackJournal(std::wstring path, Writer writer = writeFile);
    // Waits for the write in progress; the changes not written yet follow it unless the writes
    // are slow or fail.
    ~GiveBackJournal();
    GiveBackJournal(const GiveBackJournal&) = delete;
    GiveBackJournal& operator=(const GiveBackJournal&) = delete;

    // What an earlier run left, also kept for the writes to come. A file that does not read, or
    // is of another kind, is logged and kept aside and gives nothing; a record that does not
    // read is logged and skipped; a record whose level does not read gives its switch alone.
    std::vector<Record> load();
    // Records what the loudspeakers are owed, in place of what they were owed before, and that
    // the `erased` ones are owed nothing any more; the writer puts it on disk soon after.
    void update(const std::vector<Record>& put, const std::vector<net::HardwareAddress>& erased = {});
    void put(const Record& record) { update({record}); }
    void erase(const net::HardwareAddress& address) { update({}, {address}); }

    // A loudspeaker's address as a key of a map: the text takes no part.
    using Key = std::pair<std::uint32_t, std::uint32_t>;
    static Key keyOf(const net::HardwareAddress& address) { return {address.getHigh(), address.getLow()}; }

private:
    void writeLoop();
    bool write(const std::map<Key, Record>& records);

    const std::wstring path_;
    const Writer writer_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::map<Key, Record> records_;
    // Under lock_: the changes made, those on disk, whether the last write failed or was slow,
    // and whether the journal ends.
    std::uint64_t changes_ = 0;
    std::uint64_t written_ = 0;
    bool failing_ = false;
    bool slow_ = false;
    bool ending_ = false;
    // A file left that could be neither read nor kept aside is never written over.
    bool blocked_ = false;
    std::thread writerThread_;
};

}  // namespace frm
