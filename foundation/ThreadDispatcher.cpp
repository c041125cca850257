#include "foundation/ThreadDispatcher.h"

#include <pthread.h>

#include <algorithm>
#include <boost/thread/exceptions.hpp>
#include <exception>

#include "foundation/Checks.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "foundation/Place.h"
#include "foundation/ThreadRole.h"

namespace base {
namespace {

constexpr auto kLongestWait = std::chrono::seconds(10);
constexpr auto kShortestWait = std::chrono::microseconds(500);
constexpr auto kExecutorPatience = std::chrono::milliseconds(500);
constexpr std::int64_t kLongItemMicros = 1'000'000;

std::int64_t microsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
}

boost::chrono::steady_clock::time_point toBoost(std::chrono::steady_clock::time_point when) {
    // Both clocks read CLOCK_MONOTONIC; the due times come through the clock seam.
    const auto left = when - clock::steadyNow();
    return boost::chrono::steady_clock::now() +
           boost::chrono::microseconds(std::chrono::duration_cast<std::chrono::microseconds>(left).count());
}

// The item that the dispatcher runs on this thread now, under whose id its jobs are told.
thread_local std::uint32_t t_runningItem = 0;

[[noreturn]] void stopProgram(const char* place, const wchar_t* text) {
    debug::Place(place).fatal(text);
    Log::notifyInstance();
    throw exception::StopProgram();
}

}  // namespace

SingletonSlot<ThreadDispatcher>& ThreadDispatcher::slot() {
    static SingletonSlot<ThreadDispatcher> instance;
    return instance;
}

void ThreadDispatcher::create() {
    constexpr const char* place = "base::ThreadDispatcher::create";
    constexpr const wchar_t* refusal = L"Не удалось создать новый экземпляр диспетчера потоков";
    if (slot().peek() != nullptr) stopProgram(place, refusal);
    auto* dispatcher = new ThreadDispatcher();
    if (slot().install(dispatcher)) return;
    delete dispatcher;
    stopProgram(place, refusal);
}

void ThreadDispatcher::destroy() {
    // Emptying the slot first waits out callers still inside add or remove.
    ThreadDispatcher* dispatcher = slot().release();
    if (dispatcher == nullptr)
        stopProgram("base::ThreadDispatcher::destroy", L"Не удалось уничтожить диспетчер потоков");
    delete dispatcher;
}

std::uint32_t ThreadDispatcher::add(std::wstring description, std::uint32_t delayMs,
                                    boost::function<void()> function) {
    SingletonSlot<ThreadDispatcher>::Use dispatcher(slot());
    debug::terminateIfNull(dispatcher.get(), "base::ThreadDispatcher::add");
    return dispatcher->enqueue(std::move(description), delayMs, std::move(function));
}

std::uint32_t ThreadDispatcher::addBatch(std::wstring description, boost::function<void()> function) {
    SingletonSlot<ThreadDispatcher>::Use dispatcher(slot());
    debug::terminateIfNull(dispatcher.get(), "base::ThreadDispatcher::add");
    return dispatcher->enqueue(std::move(description), 0, std::move(function), true);
}

std::chrono::steady_clock::time_point ThreadDispatcher::runJob(
    const Job& job, Describe describe, const std::wstring& fallback,
    std::chrono::steady_clock::time_point started) {
    const debug::Place here("base::ThreadDispatcher::handle");
    const auto description = [&] { return describe ? describe(job) : fallback; };
    // Made before the job runs, which may let go of what it describes, and only while a line that
    // tells of the job can be written: the start's and a long run's.
    const bool telling = Log::MARK >= Log::activeLevel();
    const std::wstring told = telling ? description() : std::wstring();
    here.trace2(L"dispatcher: start function execution with id=%1%, description '%2%'", t_runningItem, told);
    try {
        job();
    } catch (...) {
        // The failing job is dropped; the rest of the batch still runs.
        reportFailure(telling ? told : description());
        return clock::steadyNow();
    }
    here.trace3(L"dispatcher: finish function execution, id=%1%", t_runningItem);
    const TimePoint ended = clock::steadyNow();
    const std::int64_t elapsed = microsBetween(started, ended);
    if (elapsed > kLongItemMicros) {
        here.mark(L"dispatcher: Last operation took a long time (%1% uS, id=%2%, description '%3%').",
                  elapsed, t_runningItem, told);
    }
    return ended;
}

void ThreadDispatcher::remove(std::uint32_t identifier) {
    SingletonSlot<ThreadDispatcher>::Use dispatcher(slot());
    debug::terminateIfNull(dispatcher.get(), "base::ThreadDispatcher::remove");
    dispatcher->drop(identifier);
}

void ThreadDispatcher::shutdown() {
    SingletonSlot<ThreadDispatcher>::Use dispatcher(slot());
    // A stop that comes after the dispatcher went (a window closed late at the exit) finds
    // nothing to stop; it must not end the stop it is part of.
    if (dispatcher.get() == nullptr) {
        debug::Place("base::ThreadDispatcher::shutdown").debug(L"dispatcher: nothing to shut down");
        return;
    }
    dispatcher->stop();
}

ThreadDispatcher::ThreadDispatcher() {
    engine_ = boost::thread([this] { engineThread(); });
    try {
        executor_ = boost::thread([this] { executorThread(); });
    } catch (...) {
        // The engine must not outlive a dispatcher that was never made.
        engine_.interrupt();
        engine_.join();
        throw;
    }
}

ThreadDispatcher::~ThreadDispatcher() {
    stop();
}

std::uint32_t ThreadDispatcher::enqueue(std::wstring description, std::uint32_t delayMs,
                                        boost::function<void()> function, bool batch) {
    if (function.empty()) throw exception::InternalError(L"Диспетчер потоков. Неизвестная функция");
    const debug::Place here("base::ThreadDispatcher::add");
    here.trace3(L"dispatcher: add a function with description '%1%', delay=%2%", description, delayMs);
    const TimePoint now = clock::steadyNow();
    boost::unique_lock<boost::mutex> guard(lock_);
    // After wrapping round, 0 stays reserved for "no item".
    if (++lastIdentifier_ == 0) ++lastIdentifier_;
    const std::uint32_t identifier = lastIdentifier_;
    here.trace2(L"dispatcher: added the function with id=%1%, delay=%2% and a description '%3%'", identifier,
                delayMs, description);
    if (delayMs == 0) {
        ready_.push_back(Run{identifier, std::move(function), std::move(description), batch});
        if (executorWaiting_) {
            guard.unlock();
            executorWake_.notify_one();
        } else if (executorRunning_ && !engineWatching_) {
            // The engine is told once, so that it can step in should the executor be held up.
            engineWatching_ = true;
            guard.unlock();
            engineWake_.notify_one();
        }
        return identifier;
    }
    const TimePoint due = now + std::chrono::milliseconds(delayMs);
    const auto entry =
        timeTable_.emplace(due, Run{identifier, std::move(function), std::move(description), batch});
    delayedById_.emplace(identifier, entry);
    here.trace2(L"dispatcher: defer execution. id=%1%, '%2%' -> before=%3% mcsec, in waiting=%4% mcsec",
                identifier, entry->second.description, microsBetween(now, due),
                microsBetween(now, std::min(due, engineWakeAt_)));
    // The engine sleeps until its next due time; only an earlier one wakes it.
    if (due < engineWakeAt_) {
        engineWakeAt_ = due;
        guard.unlock();
        engineWake_.notify_one();
    }
    return identifier;
}

void ThreadDispatcher::drop(std::uint32_t identifier) {
    const debug::Place here("base::ThreadDispatcher::remove");
    if (identifier == 0) {
        here.trace3(L"dispatcher: skip removing id=0.");
        return;
    }
    Run removed;
    {
        boost::lock_guard<boost::mutex> guard(lock_);
        here.trace2(L"dispatcher: remove id=%1% (deferred removing).", identifier);
        removedSinceWake_.insert(identifier);
        const auto found = delayedById_.find(identifier);
        if (found == delayedById_.end()) return;
        removed = std::move(found->second->second);
        timeTable_.erase(found->second);
        delayedById_.erase(found);
    }
    // The function and what it holds go outside the lock.
    here.debug(L"dispatcher: an action is removed with id=%1%", identifier);
}

void ThreadDispatcher::stop() {
    const debug::Place here("base::ThreadDispatcher::shutdown");
    here.trace2(L"");
    engine_.interrupt();
    executor_.interrupt();
    engine_.join();
    executor_.join();
    std::deque<Run> ready;
    TimeTable timeTable;
    {
        boost::lock_guard<boost::mutex> guard(lock_);
        ready.swap(ready_);
        timeTable.swap(timeTable_);
        delayedById_.clear();
        removedSinceWake_.clear();
        executorRunning_ = false;
        engineWatching_ = false;
    }
    here.trace3(L"");
}

void ThreadDispatcher::moveDueItems(TimePoint now) {
    while (!timeTable_.empty() && timeTable_.begin()->first <= now) {
        const auto first = timeTable_.begin();
        delayedById_.erase(first->second.identifier);
        ready_.push_back(std::move(first->second));
        timeTable_.erase(first);
    }
}

bool ThreadDispatcher::takeForEngine(TimePoint now, Run& run) {
    if (!executorRunning_ || ready_.empty() || now - executorStarted_ < kExecutorPatience) return false;
    const debug::Place here("base::ThreadDispatcher::takeForEngine");
    if (heldUpItem_ != executorItem_) {
        heldUpItem_ = executorItem_;
        here.debug(L"dispatcher: the main thread got timeout for executor thread.");
    }
    run = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void ThreadDispatcher::engineThread() {
    pthread_setname_np(pthread_self(), "dispatch-engine");
    // It runs items too while the executor is held up.
    os::setThreadRole(os::ThreadRole::dispatcher);
    const debug::Place here("base::ThreadDispatcher::engineThread");
    boost::unique_lock<boost::mutex> guard(lock_);
    try {
        for (;;) {
            if (boost::this_thread::interruption_requested()) {
                here.trace3(L"thread dispatcher is end");
                return;
            }
            const TimePoint now = clock::steadyNow();
            moveDueItems(now);
            if (executorWaiting_ && !ready_.empty()) executorWake_.notify_one();

            Run run;
            if (takeForEngine(now, run)) {
                guard.unlock();
                here.debug(L"dispatcher: handle the queue by engine thread.");
                handle(run);
                run = Run();
                guard.lock();
                continue;
            }

            TimePoint wake = now + kLongestWait;
            if (!timeTable_.empty()) wake = std::min(wake, timeTable_.begin()->first);
            engineWatching_ = executorRunning_ && !ready_.empty();
            if (engineWatching_) wake = std::min(wake, executorStarted_ + kExecutorPatience);
            wake = std::max(wake, now + kShortestWait);
            engineWakeAt_ = wake;
            here.trace3(L"dispatcher: wait... %1% mcsec", microsBetween(now, wake));
            engineWake_.wait_until(guard, toBoost(wake));
            here.trace2(
                L"dispatcher: woke up. A queue is %1%, delayed queue is %2%, deferred removing is %3%",
                ready_.size(), timeTable_.size(), removedSinceWake_.size());
            removedSinceWake_.clear();
        }
    } catch (const boost::thread_interrupted&) {
        here.debug(L"stop thread dispatcher");
    }
}

void ThreadDispatcher::executorThread() {
    pthread_setname_np(pthread_self(), "dispatch-exec");
    os::setThreadRole(os::ThreadRole::dispatcher);
    const debug::Place here("base::ThreadDispatcher::executorThread");
    boost::unique_lock<boost::mutex> guard(lock_);
    try {
        for (;;) {
            while (ready_.empty()) {
                executorWaiting_ = true;
                try {
                    executorWake_.wait(guard);
                } catch (...) {
                    executorWaiting_ = false;
                    throw;
                }
                executorWaiting_ = false;
            }
            {
                const Run run = std::move(ready_.front());
                ready_.pop_front();
                executorRunning_ = true;
                executorStarted_ = clock::steadyNow();
                ++executorItem_;
                guard.unlock();
                handle(run);
            }
            guard.lock();
            executorRunning_ = false;
        }
    } catch (const boost::thread_interrupted&) {
        here.debug(L"dispatcher: stop executor thread");
    }
}

void ThreadDispatcher::handle(const Run& run) {
    const debug::Place here("base::ThreadDispatcher::handle");
    // The engine may run an item while the executor runs another: each thread tells its own.
    t_runningItem = run.identifier;
    try {
        if (!run.batch) {
            here.trace2(L"dispatcher: start function execution with id=%1%, description '%2%'",
                        run.identifier, run.description);
        }
        const auto start = clock::steadyNow();
        if (run.function) {
            run.function();
        } else {
            here.warn(L"Диспетчер потоков. Нет функции для обработки");
        }
        // A batch's jobs have told of themselves.
        if (run.batch) return;
        here.trace3(L"dispatcher: finish function execution, id=%1%", run.identifier);
        const std::int64_t elapsed = microsBetween(start, clock::steadyNow());
        if (elapsed > kLongItemMicros) {
            here.mark(L"dispatcher: Last operation took a long time (%1% uS, id=%2%, description '%3%').",
                      elapsed, run.identifier, run.description);
        }
    } catch (...) {
        reportFailure(run.description);
    }
}

void ThreadDispatcher::reportFailure(const std::wstring& description) {
    const debug::Place here("base::ThreadDispatcher::handle");
    try {
        throw;
    } catch (const exception::Base& error) {
        here.debug(L"dispatcher: '%1%', '%2%', '%3%'", error.message, error.description, description);
        if (error.description.empty()) {
            // The message is text from wherever the exception was made, never a format.
            here.error(L"%1%", error.message);
        } else {
            here.error(L"Сообщение: '%1%'\nОписание: '%2%'", error.message, error.description);
        }
    } catch (const boost::thread_interrupted&) {
        here.debug(L"dispatcher: stop handle");
        throw;
    } catch (const std::exception& error) {
        here.error(
            L"Диспетчер потоков. Поймано необработанное исключение.\nПричина: '%1%'.\nОписание источника "
            L"'%2%'.",
            exception::textOf(error), description);
    } catch (...) {
        here.error(L"Диспетчер потоков. Поймано необработанное исключение.\nОписание источника '%1%'.",
                   description);
    }
}

}  // namespace base
