#pragma once
// The scheduler panel's list filters over one task: its dates and its times of day. An empty
// filter text sets no bound; a text that names no date or time lets no task through.

#include <string>

#include "audio/ITask.h"

namespace scheduler::task {

// Whether the date ("2024-5-2") lies between the task's start and final dates, both included.
bool isInsideDate(const ITask& task, const std::wstring& date);
// Whether the task's start time, and its stop time when it has one, lie between the start and
// the stop time ("7:5"), both included; a start later than the stop spans midnight.
bool isInsideTime(const ITask& task, const std::wstring& startTime, const std::wstring& stopTime);

}  // namespace scheduler::task
