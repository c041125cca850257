#pragma once
// What the scheduler panel keeps with every task: its plan as the operator gave it, its paired
// stop task, the playback with its targets and their device ids. A start task and its stop task
// carry equal records but for `stopTaskId` and `isStopTask`, and share the playback.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/IPlayback.h"

namespace scheduler::task {

struct DataVault {
    DataVault() = default;
    DataVault(std::shared_ptr<frm::IPlayback> playback, std::wstring startDate, std::wstring finalDate,
              std::wstring startTime, std::wstring stopTime, std::vector<std::uint32_t> deviceEntries,
              std::int32_t stopTaskId, bool isStopTask)
        : startDate(std::move(startDate)),
          finalDate(std::move(finalDate)),
          startTime(std::move(startTime)),
          stopTime(std::move(stopTime)),
          stopTaskId(stopTaskId),
          deviceEntries(std::move(deviceEntries)),
          playback(std::move(playback)),
          isStopTask(isStopTask) {}

    // YYYY-MM-DD; the final date is empty for no end, and a one-time task's is its start date.
    std::wstring startDate;
    std::wstring finalDate;
    // HH:MM; the stop time is empty for none.
    std::wstring startTime;
    std::wstring stopTime;
    // The paired stop task's id; -1 when there is none, 0 in the stop task's own record.
    std::int32_t stopTaskId = -1;
    // The ids of the playback's targets, in target order.
    std::vector<std::uint32_t> deviceEntries;
    std::shared_ptr<frm::IPlayback> playback;
    bool isStopTask = false;
    // Hardware addresses of the file's record that no registered loudspeaker has now: kept, so
    // that saving writes the record back as it was read.
    std::vector<std::wstring> unknownDevices;
};

}  // namespace scheduler::task
