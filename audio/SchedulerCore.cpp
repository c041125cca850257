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
    putAt_.clear();
}

void Core::clear() {
    debug::Place("scheduler::Core::clear").debug(L"scheduler: clear all task");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    tasks_.clear();
    putAt_.clear();
}

void Core::erase(std::uint32_t id) {
    const debug::Place place("scheduler::Core::erase");
    place.debug(L"scheduler: erase number task: %1%", id);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (tasks_.erase(id) == 0) {
        place.warn(L"Планировщик. Номер задания не найден: %1%", id);
        return;
    }
    putAt_.erase(id);
}

Core::TaskPtr Core::getTask(std::uint32_t id) const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto found = tasks_.find(id);
    return found == tasks_.end() ? nullptr : found->second;
}

Core::Tasks Core::getTasks() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return tasks_;
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
    tasks_[id] = task;
    putAt_[id] = utcNow();
    debug::Place("scheduler::Core::putTask").debug(L"scheduler: task added with id=%1%", id);
    return true;
}

void Core::schedulerThread() {
    pthread_setname_np(pthread_self(), "scheduler");
    const debug::Place place("scheduler::Core::schedulerThread");
    constexpr std::int64_t longestLate = kLongestLate.count() * kMicrosPerSecond;
    std::int64_t last = checked_.load();
    std::unique_lock<std::mutex> guard(wakeLock_);
    while (!wake_.wait_for(guard, kPeriod, [this] { return stopping_; })) {
        guard.unlock();
        const std::int64_t now = utcNow();
        std::int64_t after = last;
        if (now < last) {
            place.info(L"Планировщик. Часы переведены назад на %1% с", (last - now) / kMicrosPerSecond);
            after = now;
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
            after = now - longestLate;
        }
        try {
            runDue(after, now);
        } catch (const std::exception& error) {
            place.error(L"Планировщик. Ошибка запуска заданий: %1%", exception::textOf(error));
        }
        last = now;
        checked_.store(now);
        guard.lock();
    }
}

void Core::runDue(std::int64_t after, std::int64_t upTo) {
    std::vector<std::pair<TaskPtr, std::int64_t>> tasks;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        for (const auto& [id, task] : tasks_) tasks.emplace_back(task, std::max(after, putAt_[id]));
    }
    for (const auto& [task, from] : tasks) {
        if (!task->isEnabled()) continue;
        std::function<void()> event = task->takeDue(from, upTo);
        if (!event) continue;
        const std::uint32_t id = task->getId();
        debug::Place("scheduler::Core::runDue").info(L"scheduler: run task id=%1%", id);
        base::ThreadDispatcher::add(L"scheduled task " + std::to_wstring(id), 0, std::move(event));
    }
}

}  // namespace scheduler
