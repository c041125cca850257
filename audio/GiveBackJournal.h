#pragma once
// What the alarm channel's devices have changed on loudspeakers and not given back yet, kept so
// that a program that ends without giving them back (a crash, a power cut) gives them back at its
// next start. A change is stored at once in a file of slots mapped into memory
// ("alarm_give_back.slots", GiveBackSlots), which a killed program cannot lose and which waits for
// no disk, and written by the journal's own writer thread beside the commands to the loudspeakers
// into "alarm_give_back.xml", the lasting form, which a site's older files are too. The writer puts
// each version of that file in place whole and a second thread then makes both files durable: a
// disk whose flushes stall holds no later version back, and only a power cut before a flush loses
// a change. Each version of the file names the last change it holds, so that a start takes, of each
// loudspeaker, the newer of the two files' records. A loudspeaker given back leaves both, and the
// file goes once none is left. Changes made at once share their writes: a write takes every change
// made until it starts. A write or a flush that takes longer than a second is told at once.

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

#include "audio/GiveBackRecord.h"
#include "audio/GiveBackSlots.h"

namespace frm {

class GiveBackJournal {
public:
    static constexpr const wchar_t* kFileName = L"alarm_give_back.xml";
    // A record of each of 1000 loudspeakers writes 0.16 MB; a hundred thousand records, which a
    // load still reads so as to drop the stale ones, 16.4 MB.
    static constexpr std::size_t kMaximumFileSize = 32u << 20;
    // A write or a flush that takes longer is told as slow at once, and at the end no further one
    // waits for it.
    static constexpr auto kSlowWrite = std::chrono::seconds(1);

    using Record = GiveBackRecord;

    // Puts the text whole at the path in place of what stands there, or removes the file when the
    // text is empty; false when that failed. It need not reach the disk: the syncer flushes it.
    using Writer = std::function<bool(const std::wstring& path, const std::string& text)>;
    // Flushes what stands at the path, or its removal, to the disk; false when that failed.
    using Syncer = std::function<bool(const std::wstring& path)>;
    // The writer and the syncer of the program: a replacement whole or not at all, then a flush.
    static bool writeFile(const std::wstring& path, const std::string& text);
    static bool syncFile(const std::wstring& path);

    // The file of slots beside the journal's file at `path`.
    static std::wstring slotsPath(const std::wstring& path);

    // The file; an empty path keeps nothing. Reads what an earlier run left in both files.
    explicit GiveBackJournal(std::wstring path, Writer writer = writeFile, Syncer syncer = syncFile);
    // Waits for the write and the flush in progress; the changes not written yet follow them
    // unless the writes are slow or fail, and are then flushed unless the flushes are.
    ~GiveBackJournal();
    GiveBackJournal(const GiveBackJournal&) = delete;
    GiveBackJournal& operator=(const GiveBackJournal&) = delete;

    // What an earlier run left, also kept for the writes to come: of each loudspeaker the newer
    // record of the two files. A file that does not read, or is of another kind, is logged and kept
    // aside and gives nothing; a record whose address does not read is logged and skipped; one whose
    // switch does not read owes the switch; one whose level does not read gives its switch alone.
    std::vector<Record> load() const { return left_; }
    // Records what the loudspeakers are owed, in place of what they were owed before, and that
    // the `erased` ones are owed nothing any more; the writer puts it on disk soon after.
    void update(const std::vector<Record>& put, const std::vector<net::HardwareAddress>& erased = {});
    void put(const Record& record) { update({record}); }
    void erase(const net::HardwareAddress& address) { update({}, {address}); }

    // A loudspeaker's address as a key of a map: the text takes no part.
    using Key = std::pair<std::uint32_t, std::uint32_t>;
    static Key keyOf(const net::HardwareAddress& address) { return {address.getHigh(), address.getLow()}; }

private:
    // One of the two steps of putting the records on disk: a write or a flush.
    struct Step {
        // What the log tells when the steps start and stop failing, and become slow and quick.
        const wchar_t* failed;
        const wchar_t* again;
        const wchar_t* slowly;
        const wchar_t* quickly;
        // Under lock_: whether one is under way, and since when.
        bool busy = false;
        std::chrono::steady_clock::time_point since;
        // Under lock_: whether the last one failed, and whether the last one, or the one under
        // way, took longer than kSlowWrite; each told once when it comes and once when it ends.
        bool failing = false;
        bool slow = false;
    };
    // Reads both files into records_ and stores what they hold together in the slots.
    void read();
    // The journal's file; `change` is set to the last change it names, none for a file of an older
    // program, whose records are the newest.
    std::map<Key, Record> readFile(std::optional<std::uint64_t>& change);
    // Under lock_: stores the record in its slot; the first that finds none is told.
    void slot(const Record& record, std::uint64_t change);
    void writeLoop();
    void syncLoop();
    void watchLoop();
    bool write(const std::map<Key, Record>& records, std::uint64_t change);
    // Under the lock, which they leave and take again: a step starts and ends, telling the log
    // of a change in its failure or slowness.
    void begin(Step& step);
    void end(std::unique_lock<std::mutex>& guard, Step& step, bool ok);
    void tell(std::unique_lock<std::mutex>& guard, const wchar_t* text);

    const std::wstring path_;
    const Writer writer_;
    const Syncer syncer_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::map<Key, Record> records_;
    std::vector<Record> left_;
    // Under lock_: the changes made, those written, the writes done and those flushed, whether
    // the journal ends, and whether its writer and flusher have.
    std::uint64_t changes_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t writes_ = 0;
    std::uint64_t synced_ = 0;
    bool ending_ = false;
    bool writerDone_ = false;
    bool syncerDone_ = false;
    Step writeStep_;
    Step syncStep_;
    // Under lock_ but for their flush. The number of a change is `first_` and the count of changes
    // made since.
    GiveBackSlots slots_;
    std::uint64_t first_ = 0;
    bool slotsFull_ = false;
    // A file left that could be neither read nor kept aside is never written over.
    bool blocked_ = false;
    std::thread writerThread_;
    std::thread syncThread_;
    std::thread watchThread_;
};

}  // namespace frm
