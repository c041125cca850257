#include "audio/BaseTask.h"

#include <algorithm>

#include "audio/CivilTime.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace scheduler::task {

BaseTask::BaseTask(std::uint32_t id, unsigned intervalDays, Event event)
    : id_(id), intervalDays_(intervalDays == 0 ? 1 : intervalDays), event_(std::move(event)) {}

void BaseTask::enable(bool enabled) {
    debug::Place("scheduler::task::BaseTask::enable")
        .debug(L"scheduler: set enable (%1%) for taskId=%2%", enabled ? L"true" : L"false", id_);
    enabled_.store(enabled);
}

void BaseTask::setDateTime(const std::wstring& startDate, const std::wstring& time,
                           const std::wstring& finalDate) {
    const auto start = parseDate(startDate);
    const auto final = finalDate.empty() ? std::nullopt : parseDate(finalDate);
    const auto timeOfDay = parseTime(time);
    if (!start || !timeOfDay || (!finalDate.empty() && !final))
        throw exception::IncorrectFormat(L"task " + std::to_wstring(id_) + L": '" + startDate + L" " + time +
                                         L"' - '" + finalDate + L"'");
    std::lock_guard<std::mutex> guard(lock_);
    plan_ = Plan{*start, final, *timeOfDay};
    lastRun_.reset();
}

void BaseTask::setEvent(Event event) {
    std::lock_guard<std::mutex> guard(lock_);
    event_ = std::move(event);
}

DataVault BaseTask::getClientData() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (const auto* data = std::any_cast<DataVault>(&clientData_)) return *data;
    debug::Place("scheduler::task::BaseTask::getClientData").error(L"task: Failed to retrieve data");
    return DataVault();
}

void BaseTask::setClientData(const DataVault& data) {
    std::lock_guard<std::mutex> guard(lock_);
    clientData_ = data;
}

std::optional<BaseTask::Plan> BaseTask::getPlan() const {
    std::lock_guard<std::mutex> guard(lock_);
    return plan_;
}

bool BaseTask::occursOn(const Plan& plan, const boost::gregorian::date& date) const {
    if (date < plan.start || (plan.final && date > *plan.final)) return false;
    return (date - plan.start).days() % intervalDays_ == 0;
}

std::function<void()> BaseTask::takeDue(std::int64_t after, std::int64_t upTo) {
    if (upTo <= after) return {};
    std::lock_guard<std::mutex> guard(lock_);
    if (!plan_) return {};
    // The window is short: its dates are those of its two ends.
    const boost::gregorian::date last = toCivil(upTo).date();
    const boost::gregorian::date first = std::max(toCivil(after).date(), last - boost::gregorian::days(2));
    for (boost::gregorian::date date = first; date <= last; date += boost::gregorian::days(1)) {
        if (!occursOn(*plan_, date) || lastRun_ == date) continue;
        const std::int64_t instant = toUtc(date, plan_->time);
        if (instant <= after || instant > upTo) continue;
        lastRun_ = date;
        return event_;
    }
    return {};
}

std::optional<std::int64_t> BaseTask::nextDue(std::int64_t after) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!plan_) return std::nullopt;
    // An occurrence lies within a day of its date: the search starts the day before.
    boost::gregorian::date date = std::max(toCivil(after).date() - boost::gregorian::days(1), plan_->start);
    const long offGrid = (date - plan_->start).days() % intervalDays_;
    if (offGrid != 0) date += boost::gregorian::days(intervalDays_ - offGrid);
    // Occurrences come a day apart or more, so the search ends within a few steps.
    for (;; date += boost::gregorian::days(intervalDays_)) {
        if (plan_->final && date > *plan_->final) return std::nullopt;
        if (lastRun_ == date) continue;
        const std::int64_t instant = toUtc(date, plan_->time);
        if (instant > after) return instant;
    }
}

std::wstring BaseTask::getTitle() const {
    std::shared_ptr<frm::IPlayback> playback;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (const auto* data = std::any_cast<DataVault>(&clientData_)) playback = data->playback;
    }
    return playback ? playback->getName() : std::wstring();
}

Once::Once(std::uint32_t id, const std::wstring& startDate, const std::wstring& startTime, Event event)
    : BaseTask(id, 1, std::move(event)) {
    debug::Place("scheduler::task::Once::Once").trace(L"scheduler: create once task");
    setDateTime(startDate, startTime, startDate);
}

Daily::Daily(std::uint32_t id, Event event) : BaseTask(id, 1, std::move(event)) {
    debug::Place("scheduler::task::Daily::Daily").trace(L"scheduler: create daily task");
}

Daily::Daily(std::uint32_t id, const std::wstring& startDate, const std::wstring& time,
             const std::wstring& finalDate, Event event)
    : Daily(id, std::move(event)) {
    setDateTime(startDate, time, finalDate);
}

}  // namespace scheduler::task
