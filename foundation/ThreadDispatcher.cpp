#include "foundation/ThreadDispatcher.h"

#include <algorithm>
#include <boost/thread/exceptions.hpp>
#include <exception>
#include <iterator>

#include "foundation/Checks.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "foundation/Place.h"

namespace base {
namespace {

constexpr std::int64_t kLongestWaitMicros = 10'000'000;
constexpr std::int64_t kShortestWaitMicros = 500;
constexpr auto kExecutorPatience = boost::chrono::milliseconds(500);
constexpr std::int64_t kLongItemMicros = 1'000'000;

std::int64_t microsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
}

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

std::uint32_t ThreadDispatcher::add(const std::wstring& description, std::uint32_t delayMs,
                                    boost::function<void()> function) {
    SingletonSlot<ThreadDispatcher>::Use dispatcher(slot());
    debug::terminateIfNull(dispatcher.get(), "base::ThreadDispatcher::add");
    return dispatcher->enqueue(description, delayMs, std::move(function));
}

void ThreadDispatcher::remove(std::uint32_t identifier) {
    SingletonSlot<ThreadDispatcher>::Use dispatcher(slot());
    debug::terminateIfNull(dispatcher.get(), "base::ThreadDispatcher::remove");
    dispatcher->deferRemoving(identifier);
}

void ThreadDispatcher::shutdown() {
    SingletonSlot<ThreadDispatcher>::Use dispatcher(slot());
    debug::terminateIfNull(dispatcher.get(), "base::ThreadDispatcher::shutdown");
    dispatcher->stop();
}

ThreadDispatcher::ThreadDispatcher() {
    boost::unique_future<bool> completed = completion_.get_future();
    boost::unique_future<Run> work = handOff_.get_future();
    engine_ = boost::thread(
        [this, completed = boost::move(completed)]() mutable { engineThread(boost::move(completed)); });
    try {
        executor_ =
            boost::thread([this, work = boost::move(work)]() mutable { executorThread(boost::move(work)); });
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

std::uint32_t ThreadDispatcher::enqueue(const std::wstring& description, std::uint32_t delayMs,
                                        boost::function<void()> function) {
    if (function.empty()) throw exception::InternalError(L"Диспетчер потоков. Неизвестная функция");
    const debug::Place here("base::ThreadDispatcher::add");
    here.trace3(L"dispatcher: add a function with description '%1%', delay=%2%", description, delayMs);
    std::uint32_t identifier = 0;
    {
        boost::lock_guard<boost::recursive_mutex> guard(lock_);
        // After wrapping round, 0 stays reserved for "no item".
        if (++lastIdentifier_ == 0) ++lastIdentifier_;
        identifier = lastIdentifier_;
        Run run;
        run.identifier = identifier;
        run.function = std::move(function);
        run.description = description;
        run.due = clock::steadyNow() + std::chrono::milliseconds(delayMs);
        queue_.push_back(std::move(run));
        here.trace2(L"dispatcher: added the function with id=%1%, delay=%2% and a description '%3%'",
                    identifier, delayMs, description);
    }
    wake_.notify_all();
    return identifier;
}

void ThreadDispatcher::deferRemoving(std::uint32_t identifier) {
    const debug::Place here("base::ThreadDispatcher::remove");
    if (identifier == 0) {
        here.trace3(L"dispatcher: skip removing id=0.");
        return;
    }
    boost::lock_guard<boost::recursive_mutex> guard(lock_);
    here.trace2(L"dispatcher: remove id=%1% (deferred removing).", identifier);
    removals_.insert(identifier);
}

void ThreadDispatcher::stop() {
    const debug::Place here("base::ThreadDispatcher::shutdown");
    here.trace2(L"");
    engine_.interrupt();
    executor_.interrupt();
    engine_.join();
    executor_.join();
    {
        boost::lock_guard<boost::recursive_mutex> guard(lock_);
        queue_.clear();
        removals_.clear();
    }
    here.trace3(L"");
}

void ThreadDispatcher::engineThread(boost::unique_future<bool> completed) {
    const debug::Place here("base::ThreadDispatcher::engineThread");
    std::deque<Run> pending;
    std::deque<Run> delayed;
    bool busy = false;
    // The earliest due time among the deferred items. The sleep is measured to it when the
    // engine goes to sleep, so time spent dispatching does not make deferred items late.
    auto nextDue = std::chrono::steady_clock::time_point::max();
    for (;;) {
        if (boost::this_thread::interruption_requested()) {
            here.trace3(L"thread dispatcher is end");
            return;
        }
        boost::unique_lock<boost::recursive_mutex> guard(lock_);
        if (queue_.empty()) {
            const std::int64_t wait = delayed.empty() ? kLongestWaitMicros
                                                      : std::clamp(microsBetween(clock::steadyNow(), nextDue),
                                                                   kShortestWaitMicros, kLongestWaitMicros);
            here.trace3(L"dispatcher: wait... %1% mcsec", wait);
            wake_.wait_for(guard, boost::chrono::microseconds(wait));
            here.trace2(
                L"dispatcher: woke up. A queue is %1%, delayed queue is %2%, deferred removing is %3%",
                queue_.size(), delayed.size(), removals_.size());
        }

        if (removals_.empty()) {
            pending.swap(queue_);
            guard.unlock();
            std::move(delayed.begin(), delayed.end(), std::back_inserter(pending));
            delayed.clear();
        } else {
            auto collect = [&](std::deque<Run>& from) {
                for (Run& run : from) {
                    if (removals_.count(run.identifier) != 0) {
                        here.debug(L"dispatcher: an action is removed with id=%1%", run.identifier);
                    } else {
                        pending.push_back(std::move(run));
                    }
                }
                from.clear();
            };
            collect(queue_);
            collect(delayed);
            removals_.clear();
            guard.unlock();
        }

        nextDue = std::chrono::steady_clock::time_point::max();
        std::int64_t shortestRemaining = kLongestWaitMicros;
        while (!pending.empty()) {
            Run run = std::move(pending.front());
            pending.pop_front();
            boost::this_thread::interruption_point();
            if (run.function.empty()) {
                here.error(L"Диспетчер потоков. Функция не определена");
                continue;
            }
            const auto now = clock::steadyNow();
            if (run.due <= now) {
                dispatch(run, completed, busy);
                continue;
            }
            nextDue = std::min(nextDue, run.due);
            const std::int64_t remaining = microsBetween(now, run.due);
            shortestRemaining = std::min(shortestRemaining, remaining);
            here.trace2(
                L"dispatcher: defer execution. id=%1%, '%2%' -> before=%3% mcsec, in waiting=%4% mcsec",
                run.identifier, run.description, remaining, shortestRemaining);
            delayed.push_back(std::move(run));
        }
    }
}

void ThreadDispatcher::dispatch(Run& run, boost::unique_future<bool>& completed, bool& busy) {
    const debug::Place here("base::ThreadDispatcher::engineThread");
    try {
        if (busy) {
            if (!completed.is_ready()) {
                here.debug(L"dispatcher: handle the queue by engine thread.");
                handle(run);
                return;
            }
            busy = false;
            completed = completion_.get_future();
        }
        handOff_.set_value(std::move(run));
        if (completed.wait_for(kExecutorPatience) == boost::future_status::ready) {
            completed = completion_.get_future();
        } else {
            here.debug(L"dispatcher: the main thread got timeout for executor thread.");
            busy = true;
        }
    } catch (const boost::thread_interrupted&) {
        here.debug(L"stop thread dispatcher");
        throw;
    } catch (const std::exception& error) {
        here.error(L"Диспетчер потоков. Поймано необработанное исключение.\nПричина: '%1%'.", error.what());
    } catch (...) {
        here.error(L"Диспетчер потоков. Поймано неизвестное исключение");
    }
}

void ThreadDispatcher::executorThread(boost::unique_future<Run> work) {
    const debug::Place here("base::ThreadDispatcher::executorThread");
    while (!boost::this_thread::interruption_requested()) {
        try {
            const Run run = work.get();
            handle(run);
            boost::promise<bool> finished = boost::move(completion_);
            completion_ = boost::promise<bool>();
            // The next hand-off future is taken before the engine hears of the completion,
            // so the engine and this thread never use one promise object at the same time.
            handOff_ = boost::promise<Run>();
            work = handOff_.get_future();
            finished.set_value(true);
        } catch (const boost::thread_interrupted&) {
            here.debug(L"dispatcher: stop executor thread");
            throw;
        } catch (const std::exception& error) {
            here.error(L"Произошла непредвиденная ошибка: '%1%'", error.what());
        } catch (...) {
            here.error(L"Произошла неизвестная ошибка");
        }
    }
}

void ThreadDispatcher::handle(const Run& run) {
    const debug::Place here("base::ThreadDispatcher::handle");
    try {
        here.trace2(L"dispatcher: start function execution with id=%1%, description '%2%'", run.identifier,
                    run.description);
        const auto start = clock::steadyNow();
        if (run.function) {
            run.function();
        } else {
            here.warn(L"Диспетчер потоков. Нет функции для обработки");
        }
        here.trace3(L"dispatcher: finish function execution, id=%1%", run.identifier);
        const std::int64_t elapsed = microsBetween(start, clock::steadyNow());
        if (elapsed > kLongItemMicros) {
            here.mark(L"dispatcher: Last operation took a long time (%1% uS, id=%2%, description '%3%').",
                      elapsed, run.identifier, run.description);
        }
    } catch (const exception::Base& error) {
        here.debug(L"dispatcher: '%1%', '%2%', '%3%'", error.message, error.description, run.description);
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
            error.what(), run.description);
    } catch (...) {
        here.error(L"Диспетчер потоков. Поймано необработанное исключение.\nОписание источника '%1%'.",
                   run.description);
    }
}

}  // namespace base
