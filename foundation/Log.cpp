#include "foundation/Log.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <optional>

#include "foundation/Clock.h"
#include "foundation/DebugOutput.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace base {

std::atomic<std::uint32_t> Log::activeLevel_{Log::FATAL + 1};

namespace {

constexpr auto kNotifyWait = std::chrono::milliseconds(100);
constexpr auto kWriterIdleWait = std::chrono::seconds(1);
constexpr auto kStopWait = std::chrono::seconds(8);
constexpr auto kLockRetry = std::chrono::milliseconds(1);

// Printable by the rules of Unicode, whatever the process locale is.
bool isPrintable(wchar_t c) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (unicode != static_cast<locale_t>(nullptr)) return iswprint_l(static_cast<wint_t>(c), unicode) != 0;
    const auto code = static_cast<unsigned long>(c);
    return !(code < 0x20 || (code >= 0x7F && code < 0xA0));
}

std::wstring hexCode(wchar_t c, const char* format) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned>(c));
    return widen(buffer);
}

unsigned streamFlags(const std::ios& stream) {
    return (stream.eof() ? 1u : 0u) | (stream.fail() && !stream.bad() ? 2u : 0u) | (stream.bad() ? 4u : 0u);
}

}  // namespace

struct Log::Shared {
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable emptied;
    std::condition_variable ended;
    std::deque<Record> queue;
    bool interruptRequested = false;
    bool writerEnded = false;
    std::atomic<bool> forceStop{false};
    // Counts the writer's arrivals at an empty queue, with everything before written.
    std::uint64_t idlePasses = 0;

    std::wstring directory;
    bool consoleEcho = false;
    bool consoleOnly = false;

    // Touched by the constructor before the writer starts, then by the writer only.
    std::ofstream file;
    // The operator is told once per failure episode, until a flushed write succeeds.
    bool failureReported = false;
    // The day of the file opened last; the writer starts from the day the logger opened.
    boost::gregorian::date openedDay;

    std::shared_ptr<const Callback> callback;
    std::shared_ptr<const StringTransform> transform;
    // Under the lock.
    IdleWait idleWait;
    // Read only while `tapped`, so that a log call without a tap takes no further lock.
    std::atomic<bool> tapped{false};
    std::shared_ptr<const RecordTap> tap;

    void openFile();
    void ioReset(const std::wstring& failedLine);
    void writeRecordLine(const Record& record);
    void run();
};

void Log::Shared::openFile() {
    const boost::gregorian::date today = clock::localNow().date();
    openedDay = today;
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.log", static_cast<int>(today.year()),
                  static_cast<int>(today.month()), static_cast<int>(today.day()));
    const std::string path = toUtf8(directory) + "/" + name;
    if (file.is_open()) file.close();
    file.clear();
    file.open(path, std::ios::out | std::ios::app | std::ios::binary);
    if (file.is_open()) {
        file.clear();
        file.seekp(0, std::ios::end);
        // On the disk at once: the crash path, which appends to the file itself, finds it there
        // and starts no second one.
        if (file.tellp() <= 0) file << "\xEF\xBB\xBF" << std::flush;
        return;
    }
    file.setstate(std::ios::failbit);
    debug::sendToDebugger(L"Log subsystem error. Error opening file!");
    if (debug::consoleFlag()) debug::writeConsole(L"Log subsystem error. Error opening file!", true);
}

void Log::Shared::ioReset(const std::wstring& failedLine) {
    std::wstring escapedLine;
    for (wchar_t c : failedLine) escapedLine += hexCode(c, "\\x%02X");
    const std::wstring text = (boost::wformat(L"IO RESET. file=%1%, flags=%2%, wrong line=\"%3%\"") %
                               (file.is_open() ? 1 : 0) % streamFlags(file) % escapedLine)
                                  .str();
    openFile();
    file << "\r\n" << toUtf8(text) << "\r\n";
    file.flush();
    std::shared_ptr<const Callback> report = std::atomic_load(&callback);
    if (report && *report && !failureReported) {
        failureReported = true;
        (*report)(clock::localNow(), levelName(ERROR), text);
    }
}

void Log::Shared::writeRecordLine(const Record& record) {
    const std::wstring line = buildLine(record);
    if (consoleOnly) {
        debug::sendToDebugger(line);
        if (debug::consoleFlag()) debug::writeConsole(line, false);
        return;
    }
    if (file.good()) {
        file << toUtf8(line) << "\r\n";
        if (record.level >= DEBUG) {
            file.flush();
            if (file.good()) failureReported = false;
        }
    } else {
        debug::sendToDebugger(L"log thread: Log subsystem has an error.");
        debug::sendToDebugger(line);
        if (consoleEcho) {
            debug::writeConsole(L"log thread: Log subsystem has an error.", true);
            debug::writeConsole(line, true);
        }
    }
    if (!file.good()) ioReset(line);
}

void Log::Shared::run() {
    boost::gregorian::date currentDay = openedDay.is_special() ? clock::localNow().date() : openedDay;
    std::deque<Record> batch;
    for (;;) {
        std::optional<std::wstring> waitFailure;
        {
            std::unique_lock<std::mutex> guard(lock);
            if (queue.empty()) {
                // Trace lines wait in the stream's buffer until the writer goes idle.
                if (file.is_open() && file.good()) file.flush();
                ++idlePasses;
                emptied.notify_all();
                if (interruptRequested) {
                    debug::sendToDebugger(L"log thread: interrupt requested");
                    break;
                }
                try {
                    if (idleWait) {
                        idleWait(guard, wake, kWriterIdleWait);
                    } else {
                        wake.wait_for(guard, kWriterIdleWait);
                    }
                } catch (const std::exception& error) {
                    waitFailure = exception::textOf(error);
                }
            }
            batch.swap(queue);
        }
        if (waitFailure) {
            // Logged without the lock, which the log call takes; the pause keeps a wait that
            // fails every time from filling the file with this line.
            debug::Place("").error(L"log thread: exception is '%1%'", *waitFailure);
            std::this_thread::sleep_for(kWriterIdleWait);
        }
        while (!batch.empty()) {
            const Record& record = batch.front();
            if (forceStop) {
                debug::sendToDebugger(L"Force stop, local queue has values.");
                if (debug::consoleFlag()) debug::writeConsole(L"Force stop, local queue has values.", false);
                file << "Force stop, local queue is " << batch.size() << "\r\n";
                file.flush();
                std::lock_guard<std::mutex> guard(lock);
                writerEnded = true;
                ended.notify_all();
                return;
            }
            if (record.time.date() != currentDay) {
                if (!consoleOnly) openFile();
                currentDay = record.time.date();
            }
            if (!record.place.empty() || !record.message.empty()) writeRecordLine(record);
            batch.pop_front();
        }
    }
    std::lock_guard<std::mutex> guard(lock);
    writerEnded = true;
    ended.notify_all();
}

Log::Log(const std::wstring& directory, Level level, bool consoleEcho)
    : minimum_(level),
      consoleEcho_(consoleEcho),
      consoleOnly_(directory.empty() && consoleEcho),
      shared_(std::make_shared<Shared>()) {
    shared_->directory = directory;
    shared_->consoleEcho = consoleEcho_;
    shared_->consoleOnly = consoleOnly_;
    debug::setTraceFlag(level <= TRACE);
    debug::setConsoleFlag(consoleEcho);
    if (!consoleOnly_) shared_->openFile();
    writer_ = std::thread([shared = shared_] { shared->run(); });
    std::this_thread::yield();
}

Log::~Log() {
    notify();
    std::unique_lock<std::mutex> guard(shared_->lock);
    shared_->wake.notify_all();
    shared_->interruptRequested = true;
    shared_->wake.notify_all();
    if (!shared_->ended.wait_for(guard, kStopWait, [this] { return shared_->writerEnded; })) {
        shared_->forceStop = true;
        shared_->ended.wait_for(guard, kNotifyWait, [this] { return shared_->writerEnded; });
    }
    const bool writerEnded = shared_->writerEnded;
    guard.unlock();
    if (writerEnded) {
        writer_.join();
        shared_->file.close();
    } else {
        // The writer keeps its own reference to the shared state and ends on its own.
        writer_.detach();
    }
}

void Log::setLevel(Level level) {
    minimum_ = level;
    if (instanceSlot().peek() == this) setActiveLevel(level);
    debug::setTraceFlag(level <= TRACE);
    debug::setConsoleFlag(consoleEcho_);
}

void Log::setLogCallback(Callback callback) {
    std::atomic_store(&shared_->callback, std::make_shared<const Callback>(std::move(callback)));
}

void Log::setStringTransform(StringTransform transform) {
    std::atomic_store(&shared_->transform, std::make_shared<const StringTransform>(std::move(transform)));
}

void Log::setIdleWait(IdleWait wait) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->idleWait = std::move(wait);
}

void Log::setRecordTap(RecordTap tap) {
    const bool set = static_cast<bool>(tap);
    std::atomic_store(&shared_->tap, set ? std::make_shared<const RecordTap>(std::move(tap))
                                         : std::shared_ptr<const RecordTap>());
    shared_->tapped.store(set, std::memory_order_release);
}

void Log::notify() {
    std::unique_lock<std::mutex> guard(shared_->lock);
    shared_->wake.notify_all();
    shared_->emptied.wait_for(guard, kNotifyWait);
}

bool Log::waitWritten(std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> guard(shared_->lock);
    const std::uint64_t start = shared_->idlePasses;
    shared_->wake.notify_all();
    return shared_->emptied.wait_for(guard, deadline, [&] {
        // The writer reaches an empty queue only after writing what was queued before.
        return shared_->writerEnded || shared_->idlePasses > start;
    });
}

bool Log::waitWrittenUntil(std::chrono::steady_clock::time_point deadline) {
    if (std::this_thread::get_id() == writer_.get_id()) return false;
    std::unique_lock<std::mutex> guard(shared_->lock, std::defer_lock);
    while (!guard.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kLockRetry);
    }
    const std::uint64_t start = shared_->idlePasses;
    shared_->wake.notify_all();
    return shared_->emptied.wait_until(guard, deadline,
                                       [&] { return shared_->writerEnded || shared_->idlePasses > start; });
}

void Log::notifyInstance() {
    SingletonSlot<Log>::Use log(instanceSlot());
    if (log) log->notify();
}

std::wstring Log::filterArgument(const std::wstring& text, Level level) const {
    if (level < INFO) return text;
    std::shared_ptr<const StringTransform> transform = std::atomic_load(&shared_->transform);
    if (!transform || !*transform) return text;
    return (*transform)(text);
}

std::wstring Log::readable(const std::wstring& text, Level level) {
    constexpr wchar_t kCut = L'…';
    if (level < NOTICE || text.size() <= kLongestArgumentLine) return text;
    std::wstring cut;
    for (std::size_t start = 0;;) {
        const std::size_t newline = text.find(L'\n', start);
        const std::size_t length = (newline == std::wstring::npos ? text.size() : newline) - start;
        cut.append(text, start, std::min(length, kLongestArgumentLine));
        if (length > kLongestArgumentLine) cut += kCut;
        if (cut.size() > kLongestArgument) {
            cut.resize(kLongestArgument);
            return cut += kCut;
        }
        if (newline == std::wstring::npos) return cut;
        cut += L'\n';
        start = newline + 1;
    }
}

void Log::feed(boost::wformat& format, Level level, const std::string& value) const {
    format % filterArgument(readable(widen(value), level), level);
}

void Log::feed(boost::wformat& format, Level level, const char* value) const {
    format % filterArgument(readable(widen(value), level), level);
}

void Log::feed(boost::wformat& format, Level level, const std::wstring& value) const {
    format % filterArgument(readable(value, level), level);
}

void Log::feed(boost::wformat& format, Level level, const wchar_t* value) const {
    format % filterArgument(readable(value ? std::wstring(value) : std::wstring(), level), level);
}

void Log::finishWrite(Level level, const char* place, const wchar_t* format, const std::wstring& message,
                      const char* formatError) {
    std::string placeText = place;
    std::wstring text = message;
    if (formatError != nullptr) {
        text = (boost::wformat(L"Format error in a calling code, place [%1%], format '%2%', what '%3%'") %
                widen(placeText) % (format ? std::wstring(format) : std::wstring(L"Format ERROR")) %
                widen(formatError))
                   .str();
        level = ERROR;
        if (!placeText.empty()) placeText = "Log";
    }
    if (minimum_.load(std::memory_order_relaxed) <= TRACE) {
        debug::outputDebugString(text.empty() ? widen(placeText) : text);
    }
    intake(level, std::move(placeText), std::move(text));
}

void Log::intake(Level level, std::string place, std::wstring message) {
    boost::posix_time::ptime now;
    std::shared_ptr<const RecordTap> tap;
    if (shared_->tapped.load(std::memory_order_acquire)) tap = std::atomic_load(&shared_->tap);
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        now = clock::localNow();
        shared_->queue.push_back(Record{level, place, message, now});
        if (consoleEcho_ && !consoleOnly_ && level >= MARK) {
            const std::wstring echo = timeText(now) + L" " + message;
            debug::sendToDebugger(echo);
            if (debug::consoleFlag()) debug::writeConsole(echo, false);
        }
    }
    if (tap) (*tap)(Record{level, std::move(place), message, now});
    if (level >= WARN) shared_->wake.notify_all();
    if (level >= ERROR) notify();
    if (level >= IMPOR) {
        std::shared_ptr<const Callback> callback = std::atomic_load(&shared_->callback);
        if (callback && *callback) (*callback)(now, levelName(level), message);
    }
}

const std::wstring& Log::levelName(std::uint32_t level) {
    static const std::wstring names[] = {L"TRACE3", L"TRACE2", L"TRACE",  L"DEBUG", L"MARK",  L"INFO",
                                         L"EXTERN", L"IMPOR",  L"NOTICE", L"WARN",  L"ERROR", L"FATAL"};
    static const std::wstring unknown;
    return level <= FATAL ? names[level] : unknown;
}

std::wstring Log::timeText(const boost::posix_time::ptime& time) {
    const boost::posix_time::time_duration day = time.time_of_day();
    const long micros = static_cast<long>(day.fractional_seconds() * (1000000 / day.ticks_per_second()));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld.%03ld", static_cast<long>(day.hours()),
                  static_cast<long>(day.minutes()), static_cast<long>(day.seconds()), micros / 1000);
    return widen(buffer);
}

void Log::shortPlace(std::string& place) {
    std::size_t upper = std::string::npos;
    for (std::size_t i = 0; i < place.size(); ++i) {
        if (place[i] >= 'A' && place[i] <= 'Z') {
            upper = i;
            break;
        }
    }
    if (upper == std::string::npos) {
        const std::size_t colon = place.rfind(':');
        if (colon != std::string::npos) place.erase(0, colon + 1);
        return;
    }
    const std::size_t colon = place.rfind(':', upper);
    if (colon != std::string::npos) place.erase(0, colon + 1);
    const std::size_t cut = place.find_first_of(":<");
    if (cut != std::string::npos) place.erase(cut);
}

void Log::escape(std::wstring& text) {
    // The whole text: a NUL character is escaped like any other, so nothing behind it goes raw.
    if (std::all_of(text.begin(), text.end(), isPrintable)) return;
    std::wstring escaped;
    escaped.reserve(text.size() + 8);
    for (const wchar_t c : text) {
        if (isPrintable(c)) {
            escaped.push_back(c);
        } else {
            escaped += hexCode(c, "\\%01X");
        }
    }
    text.swap(escaped);
}

std::wstring Log::buildLine(const Record& record) {
    std::wstring message = record.message.empty() ? widen(record.place) : record.message;
    std::string place = record.place;
    shortPlace(place);
    std::string column = "[" + place + "]";
    if (column.size() < 20) column.append(20 - column.size(), ' ');
    escape(message);
    std::wstring line =
        timeText(record.time) + L" " + levelName(record.level) + L"\t" + widen(column) + message;

    std::wstring checked = line;
    escape(checked);
    const std::size_t tab = checked.find(L"\\9");
    if (tab != std::wstring::npos) checked.replace(tab, 2, L"\t");
    if (checked != line) {
        debug::Place("").important(L"log subsystem: It detects error: different lines! escaped=%1%", checked);
        return checked;
    }
    return line;
}

SingletonSlot<Log>& Log::instanceSlot() {
    static SingletonSlot<Log> slot;
    return slot;
}

}  // namespace base
