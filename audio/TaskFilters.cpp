#include "audio/TaskFilters.h"

#include <boost/date_time/gregorian/gregorian.hpp>

#include "audio/BaseTask.h"
#include "audio/CivilTime.h"
#include "foundation/Place.h"

namespace scheduler::task {

bool isInsideDate(const ITask& task, const std::wstring& date) {
    const auto* base = dynamic_cast<const BaseTask*>(&task);
    const auto plan = base ? base->getPlan() : std::nullopt;
    if (!plan) return false;
    if (date.empty()) return true;
    const auto filter = parseDate(date);
    const bool inside = filter && *filter >= plan->start && (!plan->final || *filter <= *plan->final);
    debug::Place("scheduler::task::isInsideDate")
        .trace(L"Check inside of date: filter %1%. Task has %2% & %3%. inside=%4%", date,
               dateText(plan->start), plan->final ? dateText(*plan->final) : std::wstring(),
               inside ? L"true" : L"false");
    return inside;
}

bool isInsideTime(const ITask& task, const std::wstring& startTime, const std::wstring& stopTime) {
    const auto* base = dynamic_cast<const BaseTask*>(&task);
    const auto plan = base ? base->getPlan() : std::nullopt;
    if (!plan) return false;
    const auto from = startTime.empty() ? boost::posix_time::time_duration(0, 0, 0) : parseTime(startTime);
    const auto to = stopTime.empty() ? boost::posix_time::time_duration(23, 59, 0) : parseTime(stopTime);
    if (!from || !to) return false;
    const auto inside = [&](const boost::posix_time::time_duration& time) {
        return *from <= *to ? *from <= time && time <= *to : time >= *from || time <= *to;
    };
    if (!inside(plan->time)) return false;
    const auto stop = parseTime(base->getClientData().stopTime);
    return !stop || inside(*stop);
}

}  // namespace scheduler::task
