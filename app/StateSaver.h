#pragma once
// Keeps what the operator confirmed on disk while the program runs, so that a crash or a power
// cut loses at most the last moments. Each kind of state marks its changes (base::ChangeMark),
// which wake the saver's thread ("state saver"): after a short settle, so that a burst of changes
// makes one write, it asks the owner to take, on the thread that may read the state, the files of
// the kinds that changed, in a form that costs that thread little; their bytes are made and
// written on the saver's thread. With nothing changed nothing is taken, made or compared.
//
// A file is written, as a whole, only when its bytes differ from those on disk, known by their
// size and CRC from the last write or from the first look at the file. A write that fails is tried
// again each second; the failure is told once, and its end too. A write held longer than a second
// is told when it passes the second. The stop writes what changed since, on its own thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ChangeMark.h"
#include "foundation/Files.h"

namespace frm {

class StateSaver {
public:
    // A file of a kind: its bytes are made on the saver's thread, off the window's.
    struct File {
        std::wstring path;
        // The kind's bound: a larger file on disk is not looked at, only replaced.
        std::size_t bound = 0;
        std::function<std::string()> text;
    };
    using Snapshot = std::vector<File>;
    // On the owner's thread: the files of a kind as it stands now.
    using Take = std::function<Snapshot()>;
    // Runs the task on the thread that may read the state; called on the saver's thread, it must
    // not wait for the task. A task that never runs holds the saver until its stop.
    using OnOwner = std::function<void(std::function<void()> task)>;
    using Writer = std::function<base::AtomicWriteResult(const std::wstring& path, const std::string& bytes)>;

    static constexpr std::chrono::milliseconds kSettle{20};
    static constexpr std::chrono::milliseconds kRetry{1000};
    // A write held longer is told while it is held.
    static constexpr std::chrono::milliseconds kSlowWrite{1000};

    explicit StateSaver(OnOwner onOwner, Writer writer = base::writeFileAtomically,
                        std::chrono::milliseconds settle = kSettle, std::chrono::milliseconds retry = kRetry);
    ~StateSaver();
    StateSaver(const StateSaver&) = delete;
    StateSaver& operator=(const StateSaver&) = delete;

    // Before the start: a kind whose changes the mark tells from now on; the owner holds it as
    // its file has it.
    void watch(base::ChangeMark mark, Take take);
    // Before the start: a file that could not be read nor put aside, never written in this run.
    void keepAsIs(const std::wstring& path);
    // What changed from now on is written.
    void start();
    // Ends the thread, after the write it is in; what it was taking from the owner is dropped.
    void stop();
    // Stops the saver, then writes on the caller's thread each file whose bytes differ from those
    // on disk. Whether each file of the snapshot is on disk as given and no write of the saver
    // failed last.
    bool writeChanged(const Snapshot& files);
    // Whether the last write of some file failed.
    bool failing() const;

private:
    struct Kind {
        base::ChangeMark mark;
        Take take;
        std::uint64_t taken = 0;
    };
    struct Digest {
        std::size_t size = 0;
        std::uint32_t crc = 0;
        bool operator==(const Digest& other) const { return size == other.size && crc == other.crc; }
    };

    void run();
    void wake();
    // Writes the file unless its bytes are on disk; whether they are.
    bool write(const File& file);
    bool writeBytes(const File& file, const std::string& bytes);
    void watchWrites();
    // A write that failed is tried again each second; a text that could not be made is not.
    void failed(const File& file, const std::wstring& why, bool retry = true);
    void settled(const std::wstring& path);

    const OnOwner onOwner_;
    const Writer writer_;
    const std::chrono::milliseconds settle_;
    const std::chrono::milliseconds retry_;
    std::vector<Kind> kinds_;
    std::set<std::wstring> keptAsIs_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool woken_ = false;
    bool stopping_ = false;
    std::optional<Snapshot> taken_;
    // The files whose last write failed, with what to write again (none for a text that could
    // not be made, which waits for the next change).
    std::map<std::wstring, std::optional<File>> failing_;
    // The write in progress, for its watch.
    std::condition_variable writes_;
    std::optional<std::wstring> writing_;
    std::uint64_t writeCount_ = 0;
    bool slowTold_ = false;
    bool ending_ = false;

    // Each file's bytes on disk, by their digest; none for a file that is not there or could not
    // be read. Written by one thread at a time: the saver's, then the stop's.
    std::map<std::wstring, std::optional<Digest>> onDisk_;
    std::thread thread_;
    std::thread watch_;
};

}  // namespace frm
