#pragma once
// The process-wide logger: callers on any thread queue records, one writer thread turns
// them into lines of the daily file "<dir>/YYYYMMDD.log".

#include <atomic>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/format.hpp>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>

#include "foundation/SingletonSlot.h"
#include "foundation/TextConversion.h"

namespace base {

class Log {
public:
    enum Level : std::uint32_t {
        TRACE3 = 0,
        TRACE2,
        TRACE,
        DEBUG,
        MARK,
        INFO,
        EXTERN,
        IMPOR,
        NOTICE,
        WARN,
        ERROR,
        FATAL,
    };

    using Callback = std::function<void(const boost::posix_time::ptime& time, const std::wstring& levelName,
                                        const std::wstring& message)>;
    using StringTransform = std::function<std::wstring(const std::wstring&)>;
    // How the writer waits for records while the queue is empty: it holds the queue's lock and
    // returns holding it, after `wake` was notified or `limit` passed. Tests replace it to make
    // the wait fail.
    using IdleWait = std::function<void(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                                        std::chrono::milliseconds limit)>;

    struct Record {
        std::uint32_t level = INFO;
        std::string place;
        std::wstring message;
        boost::posix_time::ptime time;
    };

    Log(const std::wstring& directory, Level level, bool consoleEcho);
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    void setLevel(Level level);
    Level level() const { return minimum_.load(std::memory_order_relaxed); }
    void setLogCallback(Callback callback);
    void setStringTransform(StringTransform transform);
    // An empty function restores the plain wait.
    void setIdleWait(IdleWait wait);
    // Sees every record as it is queued, with its whole place, on the thread that logged; for
    // tests, which cannot tell places of one class apart in the file. Empty removes it.
    using RecordTap = std::function<void(const Record& record)>;
    void setRecordTap(RecordTap tap);

    // Wakes the writer and waits at most 100 ms until it finds the queue empty.
    void notify();
    static void notifyInstance();
    // For the crash path: waits until everything queued before the call is written, as
    // waitWritten, but never on the writer's own thread, and only until `deadline` for the
    // queue's lock (the crashing thread may hold it) and for the writer (it may wait for a lock
    // the crashing thread holds). Returns false when it gave up.
    bool waitWrittenUntil(std::chrono::steady_clock::time_point deadline);
    // Waits until everything queued before the call is written (or the deadline passes).
    bool waitWritten(std::chrono::milliseconds deadline);

    // Formats and queues one message; the per-level operations of debug::Place call it.
    template <class... Args>
    void write(Level level, const wchar_t* format, const char* place, const Args&... args);

    std::wstring filterArgument(const std::wstring& text, Level level) const;

    // An argument of a record that a box shows (NOTICE and up), such as a name or an address from a
    // file or the network, is cut to a readable length, each cut marked with "…": each line to
    // kLongestArgumentLine characters and the whole to kLongestArgument, which keeps the names of a
    // thousand loudspeakers one on a line. Below NOTICE no box shows the record, and the file has
    // every argument whole: a task row or a datagram is read there as it was.
    static constexpr std::size_t kLongestArgumentLine = 500;
    static constexpr std::size_t kLongestArgument = 64 * 1024;
    static std::wstring readable(const std::wstring& text, Level level);

    // Line layout, shared by the writer and the tests.
    static const std::wstring& levelName(std::uint32_t level);
    static std::wstring timeText(const boost::posix_time::ptime& time);
    static void shortPlace(std::string& place);
    static void escape(std::wstring& text);
    static std::wstring buildLine(const Record& record);

    // The singleton slot; dbg_init fills it and dbg_free empties it.
    static SingletonSlot<Log>& instanceSlot();
    // The minimum level of the singleton, readable without taking it; FATAL+1 without one.
    static std::uint32_t activeLevel() { return activeLevel_.load(std::memory_order_relaxed); }
    static void setActiveLevel(std::uint32_t level) { activeLevel_.store(level, std::memory_order_relaxed); }

private:
    struct Shared;

    template <class T>
    void feed(boost::wformat& format, Level level, const T& value) const {
        // A value printed by its own output operator (a toolkit string, a path) is text in a box as well.
        if constexpr (std::is_class_v<T>) {
            if (level >= NOTICE) {
                std::wostringstream text;
                text << value;
                format % readable(text.str(), level);
                return;
            }
        }
        format % value;
    }
    void feed(boost::wformat& format, Level level, const std::string& value) const;
    void feed(boost::wformat& format, Level level, const char* value) const;
    void feed(boost::wformat& format, Level level, char* value) const {
        feed(format, level, static_cast<const char*>(value));
    }
    void feed(boost::wformat& format, Level level, const std::wstring& value) const;
    void feed(boost::wformat& format, Level level, const wchar_t* value) const;
    void feed(boost::wformat& format, Level level, wchar_t* value) const {
        feed(format, level, static_cast<const wchar_t*>(value));
    }

    void finishWrite(Level level, const char* place, const wchar_t* format, const std::wstring& message,
                     const char* formatError);
    void intake(Level level, std::string place, std::wstring message);

    static std::atomic<std::uint32_t> activeLevel_;

    std::atomic<Level> minimum_;
    const bool consoleEcho_;
    const bool consoleOnly_;
    std::shared_ptr<Shared> shared_;
    std::thread writer_;
};

template <class... Args>
void Log::write(Level level, const wchar_t* format, const char* place, const Args&... args) {
    if (level < minimum_.load(std::memory_order_relaxed)) return;
    if (place == nullptr) place = "";
    std::wstring message;
    try {
        if (format == nullptr) {
            level = ERROR;
            boost::wformat f(L"Format ERROR");
            (feed(f, level, args), ...);
            message = f.str();
        } else {
            boost::wformat f(filterArgument(format, level));
            (feed(f, level, args), ...);
            message = f.str();
        }
    } catch (const boost::io::format_error& error) {
        finishWrite(level, place, format, std::wstring(), error.what());
        return;
    }
    finishWrite(level, place, format, message, nullptr);
}

}  // namespace base

// Creates the singleton logger when none exists and installs the toolkit hooks.
void dbg_init(bool consoleEcho, base::Log::Level level, const std::wstring& directory);
// Deletes the singleton logger; later log calls do nothing.
void dbg_free();
