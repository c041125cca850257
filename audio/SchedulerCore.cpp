#include "audio/SchedulerCore.h"

#include <pthread.h>

#include <algorithm>

#include "audio/CivilTime.h"
#include "foundation/EventTimes.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/SystemServices.h"
#include "foundation/ThreadDispatcher.h"

namespace scheduler {
namespace {

constexpr std::int64_t kMicrosPerSecond = 1000000;
// A message names this many tasks, and counts the others.
constexpr std::size_t kMostNamed = 10;

// "N3 'Эфир'": the task as the operator knows it.
std::wstring taskName(const task::ITask& task) {
    const std::wstring title = task.getTitle();
    return L"N" + std::to_wstring(task.getId()) + (title.empty() ? L"" : L" '" + title + L"'");
}

// "2024-01-02 10:00": the local date and time of the instant.
std::wstring localText(std::int64_t instant) {
    const boost::posix_time::ptime at = toCivil(instant);
    return dateText(at.date()) + L" " +
           timeText(static_cast<int>(at.time_of_day().hours()), static_cast<int>(at.time_of_day().minutes()));
}

std::wstring andMore(std::size_t count) {
    return count > kMostNamed ? L" и ещё " + std::to_wstring(count - kMostNamed) : L"";
}

}  // namespace

Core::Core() {
    debug::Place("scheduler::Core::Core").info(L"Планировщик. Временная зона '%1%'", timeZoneName());
    checked_.store(utcNow());
    thread_ = std::thread([this] { schedulerThread(); });
    os::setThreadPriority(thread_);
}

Core::~Core() {
    stop();
}

void Core::stop() {
    {
        std::lock_guard<std::mutex> guard(wakeLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::recursive_mutex> guard(lock_);
    tasks_.clear();
    due_.clear();
}

void Core::clear() {
    debug::Place("scheduler::Core::clear").debug(L"scheduler: clear all task");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    tasks_.clear();
    due_.clear();
}

void Core::erase(std::uint32_t id) {
    const debug::Place place("scheduler::Core::erase");
    place.debug(L"scheduler: erase number task: %1%", id);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto found = tasks_.find(id);
    if (found == tasks_.end()) {
        place.warn(L"Планировщик. Номер задания не найден: %1%", id);
        return;
    }
    if (found->second.next) due_.erase({found->second.next->instant, id});
    tasks_.erase(found);
}

Core::TaskPtr Core::getTask(std::uint32_t id) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto found = tasks_.find(id);
    return found == tasks_.end() ? nullptr : found->second.task;
}

Core::Tasks Core::getTasks() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    Tasks tasks;
    for (const auto& [id, slot] : tasks_) tasks.emplace_hint(tasks.end(), id, slot.task);
    return tasks;
}

bool Core::hasTask(std::uint32_t id) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return tasks_.count(id) != 0;
}

bool Core::putTask(const TaskPtr& task) {
    if (!task) return false;
    const std::uint32_t id = task->getId();
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (id == kInvalidId || tasks_.count(id) != 0) return false;
    const std::int64_t now = utcNow();
    Slot& slot = tasks_[id];
    slot.task = task;
    slot.putAt = now;
    plan(id, slot, now);
    debug::Place("scheduler::Core::putTask").debug(L"scheduler: task added with id=%1%", id);
    return true;
}

void Core::plan(std::uint32_t id, Slot& slot, std::int64_t after) {
    if (slot.next) due_.erase({slot.next->instant, id});
    slot.next = slot.task->nextDue(std::max(after, slot.putAt));
    if (slot.next) due_.emplace(slot.next->instant, id);
}

void Core::replanAll(std::int64_t after) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    due_.clear();
    for (auto& [id, slot] : tasks_) {
        slot.next.reset();
        plan(id, slot, after);
    }
}

void Core::followLocalTime(std::int64_t previous, std::int64_t now, std::int64_t zoneMoved) {
    const std::int64_t back = std::max<std::int64_t>(previous - now, 0);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // The moment of putting keeps the local time it showed, less a step back: a task put while
    // the clock was ahead plays on the days the clock then shows again.
    for (auto& [id, slot] : tasks_) slot.putAt -= zoneMoved + back;
    replanAll(std::min(previous, now));
}

void Core::schedulerThread() {
    pthread_setname_np(pthread_self(), "scheduler");
    const debug::Place place("scheduler::Core::schedulerThread");
    constexpr std::int64_t longestLate = kLongestLate.count() * kMicrosPerSecond;
    std::int64_t last = checked_.load();
    ZoneWatch zone(last);
    std::unique_lock<std::mutex> guard(wakeLock_);
    while (!wake_.wait_for(guard, kPeriod, [this] { return stopping_; })) {
        guard.unlock();
        const std::int64_t now = utcNow();
        try {
            const std::optional<std::int64_t> zoneMoved = zone.changed(now);
            if (zoneMoved) place.info(L"Планировщик. Временная зона '%1%'", timeZoneName());
            if (now < last) {
                const std::int64_t back = (last - now) / kMicrosPerSecond;
                if (back > kToldBack.count()) {
                    place.important(L"Планировщик. Часы переведены назад на %1% с", back);
                } else {
                    place.info(L"Планировщик. Часы переведены назад на %1% с", back);
                }
            } else if (now - last > longestLate) {
                const std::int64_t slept = (now - last) / kMicrosPerSecond;
                if (os::checkEventTimes()) {
                    place.info(L"Планировщик. Поток спал %1% с: компьютер был в спящем режиме", slept);
                } else {
                    place.important(
                        L"Планировщик. Поток спал некорректно долго (%1% с): часы переведены вперёд "
                        L"или работа была приостановлена",
                        slept);
                }
            }
            // The instant that shows in the zone of now the local time that the last look showed.
            const std::int64_t previous = last - zoneMoved.value_or(0);
            if (zoneMoved || now < previous) {
                followLocalTime(previous, now, zoneMoved.value_or(0));
                passOverUnrecorded(now);
            }
            runDue(now, now - longestLate);
        } catch (const std::exception& error) {
            place.error(L"Планировщик. Ошибка запуска заданий: %1%", exception::textOf(error));
        }
        last = now;
        checked_.store(now);
        guard.lock();
    }
}

void Core::runDue(std::int64_t now, std::int64_t leftBehind) {
    struct Taken {
        TaskPtr task;
        std::int64_t instant;
        std::function<void()> event;
    };
    std::vector<Taken> run;
    std::vector<Taken> missed;
    std::vector<Unrecorded> unrecorded;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        while (!due_.empty() && due_.begin()->first <= now) {
            const auto [instant, id] = *due_.begin();
            due_.erase(due_.begin());
            Slot& slot = tasks_.at(id);
            const bool behind = instant <= leftBehind;
            // A task enabled since the step of the clock that put it before its record.
            if (slot.task->isEnabled() && slot.next->beforeTheRecord) {
                unrecorded.push_back(passOver(id, slot, behind ? leftBehind : instant));
                continue;
            }
            const task::Occurrence occurrence = *slot.next;
            slot.next.reset();
            if (slot.task->isEnabled()) {
                if (occurrence.afterItsStop) {
                    // Told once.
                    slot.task->take(occurrence);
                    missed.push_back({slot.task, instant, {}});
                } else if (behind && !slot.task->runsLate()) {
                    missed.push_back({slot.task, instant, {}});
                } else if (auto event = slot.task->take(occurrence)) {
                    run.push_back({slot.task, instant, std::move(event)});
                }
            }
            // Of the occurrences left behind, one runs late at most.
            plan(id, slot, behind ? leftBehind : instant);
        }
    }
    const debug::Place place("scheduler::Core::runDue");
    for (Taken& taken : run) {
        const std::uint32_t id = taken.task->getId();
        if (taken.instant <= leftBehind) {
            place.important(
                L"Планировщик. Задание N%1% выполнено с опозданием на %2% с: его время прошло, "
                L"пока часы стояли или были переведены вперёд",
                id, (now - taken.instant) / kMicrosPerSecond);
        }
        place.info(L"scheduler: run task id=%1%", id);
        base::ThreadDispatcher::add(L"scheduled task " + std::to_wstring(id), 0, std::move(taken.event));
    }
    // One message for all: a halt of a night may leave many behind.
    if (!missed.empty()) {
        std::wstring names;
        for (std::size_t n = 0; n < missed.size() && n < kMostNamed; ++n)
            names += (names.empty() ? L"" : L", ") + taskName(*missed[n].task) + L" " +
                     localText(missed[n].instant);
        place.warn(
            L"Планировщик. Не запущены задания, время которых прошло, пока часы стояли или были "
            L"переведены вперёд: %1%",
            names + andMore(missed.size()));
    }
    tellUnrecorded(unrecorded);
}

Core::Unrecorded Core::passOver(std::uint32_t id, Slot& slot, std::int64_t after) {
    const task::Occurrence occurrence = *slot.next;
    // Told once: the task passes over the days up to the record from now on.
    slot.task->take(occurrence);
    plan(id, slot, after);
    return {slot.task, occurrence.instant,
            slot.next ? std::optional<std::int64_t>(slot.next->instant) : std::nullopt};
}

void Core::passOverUnrecorded(std::int64_t now) {
    std::vector<Unrecorded> unrecorded;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        for (auto& [id, slot] : tasks_) {
            if (slot.next && slot.next->beforeTheRecord && slot.task->isEnabled())
                unrecorded.push_back(passOver(id, slot, now));
        }
    }
    tellUnrecorded(unrecorded);
}

void Core::tellUnrecorded(const std::vector<Unrecorded>& tasks) {
    if (tasks.empty()) return;
    std::wstring lines;
    for (std::size_t n = 0; n < tasks.size() && n < kMostNamed; ++n) {
        lines += L"\n" + taskName(*tasks[n].task) + L": не запускается с " + localText(tasks[n].from) +
                 (tasks[n].again ? L", снова запускается с " + localText(*tasks[n].again)
                                 : std::wstring(L", больше не запускается"));
    }
    debug::Place("scheduler::Core::tellUnrecorded")
        .warn(
            L"Планировщик. Часы переведены назад дальше, чем помнится выполнение заданий. Чтобы не "
            L"повторить уже выполненное, задания не запускаются до дней, которые помнятся:%1%",
            lines + andMore(tasks.size()));
}

}  // namespace scheduler
