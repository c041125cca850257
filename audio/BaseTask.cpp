#include "audio/BaseTask.h"

#include <algorithm>

#include "audio/CivilTime.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace scheduler::task {

namespace {

const boost::gregorian::date kFirstDay(1601, 1, 1);

std::int64_t dayOf(const boost::gregorian::date& date) {
    return (date - kFirstDay).days();
}

}  // namespace

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
    lastRunDay_.reset();
    ranBefore_.reset();
    toldBeforeTheRecord_.reset();
}

void BaseTask::setStopTime(const std::wstring& time) {
    const auto stop = time.empty() ? std::nullopt : parseTime(time);
    if (!time.empty() && !stop)
        throw exception::IncorrectFormat(L"task " + std::to_wstring(id_) + L": stop '" + time + L"'");
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = stop;
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

bool BaseTask::beforeTheRecord(std::int64_t day) const {
    return lastRunDay_ && *lastRunDay_ - day > kRanDaysKept;
}

bool BaseTask::hasRun(std::int64_t day) const {
    if (!lastRunDay_ || day > *lastRunDay_) return false;
    if (day == *lastRunDay_) return true;
    const std::int64_t before = *lastRunDay_ - day;
    return before <= kRanDaysKept && ranBefore_[before - 1];
}

void BaseTask::markRun(std::int64_t day) {
    if (!lastRunDay_) {
        lastRunDay_ = day;
        return;
    }
    if (day < *lastRunDay_) {
        const std::int64_t before = *lastRunDay_ - day;
        if (before <= kRanDaysKept) ranBefore_.set(before - 1);
        return;
    }
    const std::int64_t after = day - *lastRunDay_;
    // The day that was the latest becomes bit after - 1.
    if (after > kRanDaysKept) {
        ranBefore_.reset();
    } else {
        ranBefore_ <<= 1;
        ranBefore_.set(0);
        ranBefore_ <<= after - 1;
    }
    lastRunDay_ = day;
}

std::optional<Occurrence> BaseTask::nextDue(std::int64_t after) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!plan_) return std::nullopt;
    // An occurrence lies within a day of its date: the search starts the day before.
    boost::gregorian::date date = std::max(toCivil(after).date() - boost::gregorian::days(1), plan_->start);
    const long offGrid = (date - plan_->start).days() % intervalDays_;
    if (offGrid != 0) date += boost::gregorian::days(intervalDays_ - offGrid);
    // Occurrences come a day apart or more, and the days that ran end at the latest that ran, so
    // the search ends within a few steps past it.
    for (;; date += boost::gregorian::days(intervalDays_)) {
        if (plan_->final && date > *plan_->final) return std::nullopt;
        const std::int64_t day = dayOf(date);
        const bool unknown = beforeTheRecord(day);
        if (hasRun(day) || (unknown && toldBeforeTheRecord_ == lastRunDay_)) continue;
        const std::int64_t instant = toUtc(date, plan_->time);
        if (instant <= after) continue;
        if (unknown) return Occurrence{instant, day, false, true};
        // Only a stop later in the day can be reached by its start; an earlier one ends the
        // evening's playback the next morning.
        const bool afterItsStop = stop_ && *stop_ > plan_->time && toUtc(date, *stop_) <= instant;
        return Occurrence{instant, day, afterItsStop};
    }
}

std::function<void()> BaseTask::take(const Occurrence& occurrence) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!plan_ || hasRun(occurrence.day)) return {};
    if (occurrence.beforeTheRecord) {
        toldBeforeTheRecord_ = lastRunDay_;
        return {};
    }
    markRun(occurrence.day);
    return event_;
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
