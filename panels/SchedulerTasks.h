#pragma once
// The scheduled playbacks as the scheduler panel keeps them in the scheduler core: a start task
// with its record and, for a daily playlist with a stop time, a stop task with the next id; what
// they do when they fall due; the pairs of ids. Free of windows, so the panel's operations and
// its store can be tested without a display.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/BaseTask.h"
#include "audio/SchedulerCore.h"
#include "audio/WorkerPool.h"
#include "foundation/ChangeMark.h"
#include "panels/SchedulerPanelRules.h"

namespace frm {

class PlaybackTrack;

class SchedulerTasks {
public:
    using TaskPtr = std::shared_ptr<scheduler::task::BaseTask>;
    // Runs wherever a task's event runs, after a message task found a file missing and was
    // disabled.
    using DisabledListener = std::function<void()>;

    SchedulerTasks(scheduler::Core& core, DisabledListener messageDisabled);
    ~SchedulerTasks();
    SchedulerTasks(const SchedulerTasks&) = delete;
    SchedulerTasks& operator=(const SchedulerTasks&) = delete;

    // Drops the drive playbacks that fell due and have not started, and waits for one that
    // lists its files now. Called once the core no longer fires tasks.
    void close();

    struct Ids {
        std::uint32_t start = 0;
        std::uint32_t stop = 0;
    };
    // The next pair: the start id is odd, the stop id follows it.
    Ids takeIds();
    // The last id handed out; 0 before the first pair.
    std::uint32_t lastId() const { return counter_; }

    // Puts the start task of a one-time or daily playback and, for a daily playlist with a stop
    // time, its stop task; the records get the pair's ids. A refused task fails the check
    // (debug::throwIfFalse) with none of the pair left in the core; dates and times that are not
    // such throw exception::IncorrectFormat before anything is put.
    // True when a stop task was put too.
    bool put(TaskType type, const Ids& ids, scheduler::task::DataVault record, bool enabled);

    // What a message task does when it falls due: plays the track on its targets when its files
    // exist and decode; otherwise reports them, disables the task and tells the listener.
    static void checkPlaybackAndTask(const std::shared_ptr<PlaybackTrack>& track, const TaskPtr& task,
                                     const DisabledListener& messageDisabled);
    // The ids of the playback's targets, in target order.
    static std::vector<std::uint32_t> targetIds(const IPlayback& playback);

    // Enables or disables each task with its stop task; missing ones are reported and skipped.
    void enable(const std::vector<std::uint32_t>& ids, bool enabled);
    // Removes each task with its stop task.
    void erase(const std::vector<std::uint32_t>& ids);

    // A copy of the core's tasks, in id order; a task of another kind is an internal fault, told
    // by `check`.
    std::vector<TaskPtr> tasks(const char* check = "Internal error. Task pointer is null") const;

    // The queries of other panels. A playback is named by the kind of its collection ("playlist",
    // "radio", ...) and its exact name.
    // Whether the device is a target of a scheduled playlist (messages do not count).
    bool isUsedDevice(const ZoneElement::DevicePtr& device) const;
    // Whether a scheduled message plays the file, as its message or its gong.
    bool isUsedFile(const std::wstring& path) const;
    std::shared_ptr<IPlayback> getPlayback(const std::wstring& kind, const std::wstring& name) const;
    // Renames every scheduled playback of the kind with the old name.
    void renamePlaylist(const std::wstring& kind, const std::wstring& oldName, const std::wstring& newName);
    bool existPlaylist(const std::wstring& kind, const std::wstring& name) const;

    // Marked by each change of the tasks: put, enabled, erased, renamed, or disabled when due.
    const base::ChangeMark& changes() const { return changes_; }

    // The bytes of a start task's element in the file, from its record, its type and its flag:
    // told by the store that writes the file.
    using ElementSize =
        std::function<std::size_t(const scheduler::task::DataVault& record, TaskType type, bool enabled)>;
    // From now on the tasks keep what the elements of their start tasks take, as `size` tells, as
    // they are put, enabled or disabled (also when due), renamed and erased: a check against the
    // file's bound then costs nothing that grows with the tasks.
    void measureWith(ElementSize size);
    // What the elements take now; with the ids enabled or disabled; with the playbacks of the kind
    // renamed, whose name each start task's element writes once as a text.
    std::size_t writtenSize() const;
    std::size_t writtenSizeEnabled(const std::vector<std::uint32_t>& ids, bool enabled) const;
    std::size_t writtenSizeRenamed(const std::wstring& kind, const std::wstring& oldName,
                                   const std::wstring& newName) const;

private:
    // Where drive playbacks start: listing a medium may take long, and must hold up neither the
    // dispatcher nor the window.
    struct DriveStarts {
        std::shared_ptr<std::atomic<bool>> open = std::make_shared<std::atomic<bool>>(true);
        audio::WorkerPool pool{"drive listing", 1};
    };
    // What the start task of the playback does when it falls due.
    scheduler::task::BaseTask::Event startEvent(const std::shared_ptr<IPlayback>& playback) const;

    // What the start tasks' elements take, each with the flag it was counted with. Shared with the
    // events of message tasks, which disable their task when due.
    struct Sizes {
        struct Element {
            std::size_t bytes = 0;
            bool enabled = true;
        };
        mutable std::mutex lock;
        ElementSize measure;
        std::map<std::uint32_t, Element> elements;
        std::size_t total = 0;

        // Under lock: the bytes of the start task with that flag.
        std::size_t measured(const scheduler::task::BaseTask& task, bool enabled) const;
        // Counts the task's element again with that flag.
        void flag(const scheduler::task::BaseTask& task, bool enabled);
    };

    scheduler::Core& core_;
    const DisabledListener messageDisabled_;
    std::uint32_t counter_ = 0;
    std::shared_ptr<DriveStarts> driveStarts_ = std::make_shared<DriveStarts>();
    const std::shared_ptr<Sizes> sizes_ = std::make_shared<Sizes>();
    base::ChangeMark changes_;
};

}  // namespace frm
