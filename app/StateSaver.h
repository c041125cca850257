#pragma once
// Keeps what the operator confirmed on disk while the program runs, so that a crash or a power
// cut loses at most the last moments: at each round its thread ("state saver") writes the
// snapshot offered since the last round and asks for the next one, which the owner takes on the
// thread that may read the state and offers back. Only a file whose bytes differ from those last
// written, or found on disk when the file was first offered, is written, as a whole; so a burst
// of changes between two rounds makes one write, and an unchanged state none. A file whose write
// failed is tried again at each round; the failure is told once, and its end too.

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/TickThread.h"
#include "foundation/Files.h"

namespace frm {

class StateSaver {
public:
    // A file of a snapshot: its bytes are made on the saver's thread, off the window's.
    struct File {
        std::wstring path;
        std::function<std::string()> text;
    };
    using Snapshot = std::vector<File>;
    // Asks for a snapshot, which comes back through offer; called on the saver's thread, it must
    // not wait for the snapshot.
    using Request = std::function<void()>;
    using Writer = std::function<base::AtomicWriteResult(const std::wstring& path, const std::string& bytes)>;

    StateSaver(std::chrono::milliseconds period, Request request, Writer writer = base::writeFileAtomically);
    StateSaver(const StateSaver&) = delete;
    StateSaver& operator=(const StateSaver&) = delete;

    void start();
    // Joins the thread; what is offered from then on is dropped. Whether the last write of every
    // file it tried succeeded.
    bool stop();
    // From any thread: the state as it stands now, which replaces a snapshot not yet written.
    void offer(Snapshot snapshot);
    // Whether the last write of some file failed.
    bool failing() const;

private:
    void round();
    void write(const File& file);
    void failed(const std::wstring& path, const std::wstring& why);
    void settled(const std::wstring& path);

    const Request request_;
    const Writer writer_;
    mutable std::mutex lock_;
    std::optional<Snapshot> offered_;
    // A snapshot was asked for and has not come yet: the owner is asked once at a time.
    bool requested_ = false;
    bool stopped_ = false;
    std::set<std::wstring> failing_;
    // On the saver's thread only: each file's bytes on disk, none for a file that is not there.
    std::map<std::wstring, std::optional<std::string>> onDisk_;
    TickThread thread_;
};

}  // namespace frm
