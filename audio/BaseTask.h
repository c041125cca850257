#pragma once
// The scheduled tasks: a time of day on the dates from a start date to a final date (or without
// end), every interval days; a one-time task has the one date. Occurrences are local civil
// times, so a daily task plays at its hour on every day, also on the days the clocks change, and
// an occurrence runs at most once whatever the clock does. The record of the scheduler panel
// (DataVault) travels with the task as its client data.

#include <any>
#include <atomic>
#include <bitset>
#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <mutex>
#include <optional>
#include <string>

#include "audio/DataVault.h"
#include "audio/ITask.h"

namespace scheduler::task {

class BaseTask : public ITask {
public:
    using Event = std::function<void()>;

    std::uint32_t getId() const override { return id_; }
    void enable(bool enabled) override;
    bool isEnabled() const override { return enabled_.load(); }
    std::optional<Occurrence> nextDue(std::int64_t after) const override;
    std::function<void()> take(const Occurrence& occurrence) override;
    bool runsLate() const override { return runsLate_.load(); }
    void setRunsLate(bool late) { runsLate_.store(late); }
    // The name of the playback in the record.
    std::wstring getTitle() const override;

    // Start date and final date as YYYY-MM-DD (the final date empty for no end) and the time of
    // day as HH:MM; text that names no such date or time throws exception::IncorrectFormat and
    // leaves the plan as it was. A task without a plan never falls due. The plan is set before
    // the task is put into the scheduler core, which keeps each task's next occurrence.
    void setDateTime(const std::wstring& startDate, const std::wstring& time, const std::wstring& finalDate);
    // The time of day (HH:MM; empty for none) at which the stop task of a playback ends what this
    // task starts. A stop at a later time belongs to the start of its day: an occurrence that the
    // change to summer time moves to its stop or past it does not run. Set before the task is
    // put; bad text throws exception::IncorrectFormat.
    void setStopTime(const std::wstring& time);
    void setEvent(Event event);

    // A copy of the record; an empty record (logged) when the task has none.
    DataVault getClientData() const;
    void setClientData(const DataVault& data);

    // The days before the latest that ran of which the record tells whether they ran: more than a
    // year, so that a clock set a year wrong and then corrected plays every day it shows once.
    static constexpr std::int64_t kRanDaysKept = 512;

    struct Plan {
        boost::gregorian::date start;
        std::optional<boost::gregorian::date> final;
        boost::posix_time::time_duration time;
    };
    std::optional<Plan> getPlan() const;

protected:
    BaseTask(std::uint32_t id, unsigned intervalDays, Event event);

private:
    // Under lock_.
    bool hasRun(std::int64_t day) const;
    void markRun(std::int64_t day);

    const std::uint32_t id_;
    const unsigned intervalDays_;
    std::atomic<bool> enabled_{true};
    std::atomic<bool> runsLate_{false};
    mutable std::mutex lock_;
    Event event_;
    std::any clientData_;
    std::optional<Plan> plan_;
    std::optional<boost::posix_time::time_duration> stop_;
    // Whether the day lies before the days the record keeps.
    bool beforeTheRecord(std::int64_t day) const;

    // The days of the occurrences that ran: the latest, and a bit for each of the kRanDaysKept
    // days before it (bit 0: the day before). An older day may have run: it does not run, and the
    // operator is told once, so that the record stays this small while a clock set back by years
    // still replays no day.
    std::optional<std::int64_t> lastRunDay_;
    std::bitset<kRanDaysKept> ranBefore_;
    // The latest day that ran when the operator was told of the days before the record.
    std::optional<std::int64_t> toldBeforeTheRecord_;
};

class Once : public BaseTask {
public:
    Once(std::uint32_t id, const std::wstring& startDate, const std::wstring& startTime, Event event);
};

class Daily : public BaseTask {
public:
    // Every day; the plan comes with setDateTime.
    Daily(std::uint32_t id, Event event);
    Daily(std::uint32_t id, const std::wstring& startDate, const std::wstring& time,
          const std::wstring& finalDate, Event event);
};

}  // namespace scheduler::task
