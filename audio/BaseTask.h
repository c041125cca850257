#pragma once
// The scheduled tasks: a time of day on the dates from a start date to a final date (or without
// end), every interval days; a one-time task has the one date. Occurrences are local civil
// times, so a daily task plays at its hour on every day, also on the days the clocks change, and
// an occurrence runs at most once whatever the clock does. The record of the scheduler panel
// (DataVault) travels with the task as its client data.

#include <any>
#include <atomic>
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
    std::function<void()> takeDue(std::int64_t after, std::int64_t upTo) override;
    std::optional<std::int64_t> nextDue(std::int64_t after) const override;
    bool runsLate() const override { return runsLate_.load(); }
    void setRunsLate(bool late) { runsLate_.store(late); }
    // The name of the playback in the record.
    std::wstring getTitle() const override;

    // Start date and final date as YYYY-MM-DD (the final date empty for no end) and the time of
    // day as HH:MM; text that names no such date or time throws exception::IncorrectFormat and
    // leaves the plan as it was. A task without a plan never falls due. The plan is set before
    // the task is put into the scheduler core, which keeps each task's next occurrence.
    void setDateTime(const std::wstring& startDate, const std::wstring& time, const std::wstring& finalDate);
    void setEvent(Event event);

    // A copy of the record; an empty record (logged) when the task has none.
    DataVault getClientData() const;
    void setClientData(const DataVault& data);

    struct Plan {
        boost::gregorian::date start;
        std::optional<boost::gregorian::date> final;
        boost::posix_time::time_duration time;
    };
    std::optional<Plan> getPlan() const;

protected:
    BaseTask(std::uint32_t id, unsigned intervalDays, Event event);

private:
    bool occursOn(const Plan& plan, const boost::gregorian::date& date) const;

    const std::uint32_t id_;
    const unsigned intervalDays_;
    std::atomic<bool> enabled_{true};
    std::atomic<bool> runsLate_{false};
    mutable std::mutex lock_;
    Event event_;
    std::any clientData_;
    std::optional<Plan> plan_;
    // The date of the last occurrence that ran.
    std::optional<boost::gregorian::date> lastRun_;
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
