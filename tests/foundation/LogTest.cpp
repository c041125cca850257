#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/string.h>

#include <algorithm>
#include <atomic>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <variant>
#include <vector>

#include "foundation/DebugOutput.h"
#include "foundation/Log.h"
#include "foundation/Place.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TempFolder.h"

namespace {

using boost::posix_time::ptime;
using boost::posix_time::time_from_string;

base::Log::Record record(std::uint32_t level, const std::string& place, const std::wstring& message,
                         const char* time = "2026-03-01 12:03:07.415900") {
    return base::Log::Record{level, place, message, time_from_string(time)};
}

TEST(LogLine, GoldenLayout) {
    EXPECT_EQ(base::Log::buildLine(record(base::Log::INFO, "device::DeviceBase::transfer", L"sent")),
              L"12:03:07.415 INFO\t[DeviceBase]        sent");
    // A column of exactly 20 characters runs straight into the message, as does a longer one.
    EXPECT_EQ(base::Log::buildLine(record(base::Log::WARN, "ns::ABCDEFGHIJKLMNOPQR::run", L"x")),
              L"12:03:07.415 WARN\t[ABCDEFGHIJKLMNOPQR]x");
    EXPECT_EQ(base::Log::buildLine(record(base::Log::ERROR, "os::getNetworkInterfaceList", L"y")),
              L"12:03:07.415 ERROR\t[getNetworkInterfaceList]y");
    EXPECT_EQ(base::Log::buildLine(record(base::Log::TRACE3, "", L"z")),
              L"12:03:07.415 TRACE3\t[]                  z");
    // An empty message is replaced by the full place.
    EXPECT_EQ(base::Log::buildLine(record(base::Log::TRACE, "device::DeviceBase::transfer", L"")),
              L"12:03:07.415 TRACE\t[DeviceBase]        device::DeviceBase::transfer");
    // The time is cut to milliseconds, never rounded into the next second.
    EXPECT_EQ(base::Log::timeText(time_from_string("2026-03-01 09:05:03")), L"09:05:03.000");
    EXPECT_EQ(base::Log::timeText(time_from_string("2026-03-01 23:59:59.999999")), L"23:59:59.999");
}

TEST(LogLine, ShortPlaceIsTheClassOrElseTheFunction) {
    const std::pair<const char*, const char*> cases[] = {{"pinger::handle_timeout", "handle_timeout"},
                                                         {"device::cast", "cast"},
                                                         {"plain", "plain"},
                                                         {"Log", "Log"},
                                                         {"ns::Holder<int>::get", "Holder"}};
    for (const auto& [place, expected] : cases) {
        std::string text = place;
        base::Log::shortPlace(text);
        EXPECT_EQ(text, expected) << place;
    }
}

TEST(LogLine, EscapesEveryNonPrintableCharacterOfTheWholeText) {
    test::LogCapture capture;
    std::wstring text = L"a\nb\tc\rd";
    base::Log::escape(text);
    EXPECT_EQ(text, L"a\\Ab\\9c\\Dd");
    std::wstring printable = L"Зона №1";
    base::Log::escape(printable);
    EXPECT_EQ(printable, L"Зона №1");
    EXPECT_EQ(base::Log::buildLine(record(base::Log::INFO, "x::Y::z", L"one\ntwo")),
              L"12:03:07.415 INFO\t[Y]                 one\\Atwo");
    // A NUL hides nothing behind it: the line break after it is escaped too.
    const std::wstring withNul(L"head\0tail\nnext", 14);
    EXPECT_EQ(base::Log::buildLine(record(base::Log::INFO, "x::Y::z", withNul)),
              L"12:03:07.415 INFO\t[Y]                 head\\0tail\\Anext");
    EXPECT_FALSE(capture.contains(L"It detects error"));
}

TEST(LogFile, EachDayHasItsFileWithOneByteOrderMarkAndCrLfLineEnds) {
    test::TempFolder folder;
    test::ManualClock clock;
    // Two seconds of slack before midnight: the local clock runs on in real time.
    clock.setLocal(time_from_string("2026-01-01 23:59:58.000"));
    {
        base::Log log(folder.widePath(), base::Log::INFO, false);
        // The mark is there before any line, for another writer of the file (a crash report).
        EXPECT_EQ(test::readWholeFile(folder.file("20260101.log")), "\xEF\xBB\xBF");
        log.write(base::Log::INFO, L"first %1%", "x::Y::z", 1);
    }
    {
        // A logger that finds the day's file goes on in it.
        base::Log log(folder.widePath(), base::Log::INFO, false);
        log.write(base::Log::INFO, L"before midnight", "x::Y::z");
        clock.advance(std::chrono::milliseconds(2000));
        log.write(base::Log::INFO, L"after midnight", "x::Y::z");
    }
    const std::string oldDay = test::readWholeFile(folder.file("20260101.log"));
    const std::string newDay = test::readWholeFile(folder.file("20260102.log"));
    for (const std::string& bytes : {oldDay, newDay}) {
        EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u);
        EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 1), std::string::npos);
    }
    EXPECT_NE(oldDay.find(" INFO\t[Y]                 first 1\r\n"), std::string::npos);
    EXPECT_NE(oldDay.find(" INFO\t[Y]                 before midnight\r\n"), std::string::npos);
    EXPECT_EQ(oldDay.find("after midnight"), std::string::npos);
    EXPECT_NE(newDay.find("00:00:00."), std::string::npos);
    EXPECT_NE(newDay.find("after midnight\r\n"), std::string::npos);
}

TEST(LogCalls, FormatErrorsAreLoggedNotThrown) {
    test::LogCapture capture(base::Log::INFO);
    debug::Place("device::DeviceBase::transfer").info(L"two %1% and %2%", 1);
    debug::Place("device::DeviceBase::transfer").info(L"none", 1);
    debug::Place("").warn(L"bad %1%");
    debug::Place("a::B::c").info(nullptr);

    const auto tooFew = capture.find(
        L"Format error in a calling code, place [device::DeviceBase::transfer], "
        L"format 'two %1% and %2%', what '",
        L"ERROR");
    ASSERT_EQ(tooFew.size(), 1u);
    EXPECT_EQ(tooFew[0].place, L"Log");
    EXPECT_EQ(capture.find(L"format 'none', what '", L"ERROR").size(), 1u);
    const auto emptyPlace =
        capture.find(L"Format error in a calling code, place [], format 'bad %1%'", L"ERROR");
    ASSERT_EQ(emptyPlace.size(), 1u);
    EXPECT_EQ(emptyPlace[0].place, L"");
    EXPECT_EQ(capture.find(L"Format ERROR", L"ERROR").size(), 1u);
}

TEST(LogCalls, ArgumentsAreConvertedAndTranslatedFromInfoUpAndNotBelowTheLevel) {
    test::LogCapture capture(base::Log::TRACE3);
    std::atomic<int> translated{0};
    {
        base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
        log->setStringTransform([&](const std::wstring& text) {
            ++translated;
            return text == L"Sent %1% to %2%" ? std::wstring(L"Отправлено %1% на %2%") : text;
        });
    }
    debug::Place("a::B::c").info(L"Sent %1% to %2%", "\xE3\xEE\xEB", std::wstring(L"x"));  // narrow 1251 text
    EXPECT_EQ(translated.load(), 3);
    debug::Place("a::B::c").debug(L"Sent %1% to %2%", 5, true);
    EXPECT_EQ(translated.load(), 3);
    EXPECT_TRUE(capture.contains(L"Отправлено гол на x", L"INFO"));
    EXPECT_TRUE(capture.contains(L"Sent 5 to 1", L"DEBUG"));

    base::SingletonSlot<base::Log>::Use(base::Log::instanceSlot())->setLevel(base::Log::WARN);
    debug::Place("a::B::c").info(L"quiet %1%", 1);
    EXPECT_EQ(translated.load(), 3);
    EXPECT_FALSE(capture.contains(L"quiet"));
}

// A text from a file or the network, such as an address, quoted in a log line and so in a box.
TEST(LogCalls, TextArgumentsAreCutToAReadableLength) {
    using Log = base::Log;
    const std::wstring longLine(Log::kLongestArgumentLine, L'7');
    std::wstring shortLines;
    for (int n = 0; n < 20000; ++n) shortLines += L"line\n";
    std::wstring summary = L"20 records:";
    for (int n = 0; n < 20; ++n) summary += L"\n" + std::wstring(150, L's');
    const std::wstring datagram(3000, L'F');
    const std::string taskRow(3258, 't');
    const std::string received(1400, 'R');
    struct Row {
        const char* name;
        Log::Level level;
        std::variant<std::wstring, std::string, wxString> argument;
        std::wstring logged;
    };
    const Row rows[] = {
        {"a 10 MB address", Log::ERROR, std::wstring(10 << 20, L'7'), longLine + L"…"},
        {"a 10 MB narrow address", Log::ERROR, std::string(10 << 20, '7'), longLine + L"…"},
        {"a toolkit text in a notice", Log::NOTICE, wxString(longLine + L"77"), longLine + L"…"},
        {"a long line among short ones", Log::WARN, L"head\n" + longLine + L"77\ntail",
         L"head\n" + longLine + L"…\ntail"},
        {"many short lines", Log::ERROR, shortLines, shortLines.substr(0, Log::kLongestArgument) + L"…"},
        {"a summary of twenty lines", Log::ERROR, summary, summary},
        {"a datagram at trace", Log::TRACE, datagram, datagram},
        {"a megabyte at trace", Log::TRACE, std::wstring(1 << 20, L'F'), std::wstring(1 << 20, L'F')},
        {"a task row at info", Log::INFO, taskRow, std::wstring(taskRow.begin(), taskRow.end())},
        {"a datagram at extern", Log::EXTERN, received, std::wstring(received.begin(), received.end())},
    };
    test::LogCapture capture(Log::TRACE3);
    std::mutex lock;
    std::vector<std::wstring> messages;
    base::SingletonSlot<Log>::Use log(Log::instanceSlot());
    log->setRecordTap([&](const Log::Record& record) {
        std::lock_guard<std::mutex> guard(lock);
        messages.push_back(record.message);
    });
    for (const Row& row : rows) {
        std::visit(
            [&](const auto& argument) {
                log->write(row.level, L"Запись '%1%' пропущена", "a::B::c", argument);
            },
            row.argument);
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_FALSE(messages.empty()) << row.name;
        EXPECT_TRUE(messages.back() == L"Запись '" + row.logged + L"' пропущена") << row.name;
    }
    log->setRecordTap(nullptr);
}

TEST(LogCalls, DebuggerSinkOnlyAtTraceAndBelow) {
    std::mutex lock;
    std::vector<std::wstring> sunk;
    debug::setDebuggerSink([&](const std::wstring& text) {
        std::lock_guard<std::mutex> guard(lock);
        sunk.push_back(text);
    });
    {
        test::LogCapture capture(base::Log::TRACE);
        debug::Place("a::B::c").info(L"traced");
        {
            base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
            log->setLevel(base::Log::DEBUG);
        }
        debug::Place("a::B::c").info(L"not traced");
    }
    debug::setDebuggerSink(nullptr);
    std::lock_guard<std::mutex> guard(lock);
    const auto count = [&](const wchar_t* text) {
        return std::count_if(sunk.begin(), sunk.end(),
                             [&](const std::wstring& line) { return line.find(text) != std::wstring::npos; });
    };
    EXPECT_EQ(count(L" traced"), 1);
    EXPECT_EQ(count(L"not traced"), 0);
}

TEST(LogCalls, NoLoggerNoEffect) {
    dbg_free();
    debug::Place("a::B::c").error(L"nobody listens %1%", 1);
    debug::Place place;
    EXPECT_EQ(place.set("a::B::c", 7), nullptr);
}

// Records from many threads while the logger is destroyed: what was accepted is written
// exactly once and in order per thread.
TEST(LogConcurrency, BurstWhileDestroyed) {
    test::LogCapture capture(base::Log::INFO);
    constexpr int kThreads = 8;
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++started;
            for (int n = 0; !stop; ++n) debug::Place("test::Burst::run").info(L"t%1% n%2%", t, n);
        });
    }
    while (started < kThreads) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    dbg_free();
    stop = true;
    for (auto& thread : threads) thread.join();

    std::map<int, int> next;
    std::size_t written = 0;
    for (const auto& line : capture.lines()) {
        int t = -1, n = -1;
        ASSERT_EQ(swscanf(line.message.c_str(), L"t%d n%d", &t, &n), 2)
            << std::string(line.raw.begin(), line.raw.end());
        ASSERT_EQ(n, next[t]) << "thread " << t;
        next[t] = n + 1;
        ++written;
    }
    EXPECT_GT(written, 0u);
}

// A writer that locked itself out would stop the whole program's log: the scenario runs on its
// own thread, so that such a fault ends the test with a message instead of holding it up.
TEST(LogFailure, AWaitThatThrowsIsLoggedAndTheWriterGoesOn) {
    struct Outcome {
        std::size_t failureLines = 0;
        bool before = false;
        bool after = false;
    };
    auto scenario = std::async(std::launch::async, [] {
        test::LogCapture capture(base::Log::INFO);
        std::atomic<int> waits{0};
        base::SingletonSlot<base::Log>::Use(base::Log::instanceSlot())
            ->setIdleWait([&waits](std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                                   std::chrono::milliseconds limit) {
                if (waits++ == 0) throw std::runtime_error("wait failed");
                wake.wait_for(lock, limit);
            });
        debug::Place("x::Y::z").warn(L"before");
        test::waitFor([&] { return waits.load() > 1; }, std::chrono::seconds(30));
        debug::Place("x::Y::z").warn(L"after");
        Outcome outcome;
        outcome.failureLines = capture.find(L"log thread: exception is 'wait failed'", L"ERROR").size();
        outcome.before = capture.contains(L"before", L"WARN");
        outcome.after = capture.contains(L"after", L"WARN");
        return outcome;
    });
    if (scenario.wait_for(std::chrono::seconds(90)) != std::future_status::ready) {
        std::fprintf(stderr, "The log writer is stuck after its wait failed.\n");
        std::_Exit(1);
    }
    const Outcome outcome = scenario.get();
    EXPECT_EQ(outcome.failureLines, 1u);
    EXPECT_TRUE(outcome.before);
    EXPECT_TRUE(outcome.after);
}

TEST(LogFailure, WriteFailureIsToldOncePerEpisode) {
    test::TempFolder folder;
    const std::string today = [] {
        const auto date = boost::posix_time::microsec_clock::local_time().date();
        char name[32];
        std::snprintf(name, sizeof name, "%04d%02d%02d.log", int(date.year()), int(date.month()),
                      int(date.day()));
        return std::string(name);
    }();
    ASSERT_EQ(symlink("/dev/full", folder.file(today).c_str()), 0);

    std::mutex lock;
    std::vector<std::wstring> reports;
    {
        base::Log log(folder.widePath(), base::Log::INFO, false);
        log.setLogCallback([&](const ptime&, const std::wstring& level, const std::wstring& message) {
            std::lock_guard<std::mutex> guard(lock);
            reports.push_back(level + L": " + message);
        });
        for (int i = 0; i < 5; ++i) {
            log.write(base::Log::INFO, L"line %1%", "x::Y::z", i);
            log.notify();
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            ASSERT_EQ(reports.size(), 1u);
            EXPECT_EQ(reports[0].rfind(L"ERROR: IO RESET. file=1, flags=", 0), 0u)
                << base::toUtf8(reports[0]);
            EXPECT_NE(reports[0].find(L"\\x6C\\x69\\x6E\\x65\\x20\\x30\""), std::wstring::npos);
        }
        // The disk has room again: the next reset reopens a real file and writing goes on.
        ASSERT_EQ(unlink(folder.file(today).c_str()), 0);
        log.write(base::Log::INFO, L"recovered", "x::Y::z");
        log.notify();
        log.write(base::Log::INFO, L"after recovery", "x::Y::z");
    }
    const std::string bytes = test::readWholeFile(folder.file(today));
    EXPECT_NE(bytes.find("IO RESET. file=1"), std::string::npos);
    EXPECT_NE(bytes.find("after recovery\r\n"), std::string::npos);
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(reports.size(), 1u);
}

}  // namespace
