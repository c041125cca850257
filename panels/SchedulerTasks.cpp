#include "panels/SchedulerTasks.h"

#include "audio/Mp3FileDecoder.h"
#include "audio/PlaybackCollection.h"
#include "audio/PlaybackPlaylist.h"
#include "audio/PlaybackTrack.h"
#include "foundation/Checks.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"
#include "panels/PlaybackDrive.h"

namespace frm {

using scheduler::task::BaseTask;
using scheduler::task::DataVault;

SchedulerTasks::SchedulerTasks(scheduler::Core& core, DisabledListener messageDisabled)
    : core_(core), messageDisabled_(std::move(messageDisabled)) {}

SchedulerTasks::~SchedulerTasks() {
    close();
}

void SchedulerTasks::close() {
    if (!driveStarts_) return;
    driveStarts_->open->store(false);
    driveStarts_.reset();
}

BaseTask::Event SchedulerTasks::startEvent(const std::shared_ptr<IPlayback>& playback) const {
    if (!std::dynamic_pointer_cast<PlaybackDrive>(playback)) return [playback] { playback->action(); };
    // The job holds neither the pool nor its owner: the pool is never ended on its own thread.
    return [starts = std::weak_ptr<DriveStarts>(driveStarts_), playback] {
        const std::shared_ptr<DriveStarts> drive = starts.lock();
        if (!drive) return;
        drive->pool.post([open = drive->open, playback] {
            if (open->load()) playback->action();
        });
    };
}

SchedulerTasks::Ids SchedulerTasks::takeIds() {
    const Ids ids{counter_ + 1, counter_ + 2};
    counter_ += 2;
    return ids;
}

bool SchedulerTasks::put(TaskType type, const Ids& ids, DataVault record, bool enabled) {
    const std::shared_ptr<IPlayback> playback = record.playback;
    debug::throwIfFalse(playback != nullptr, "frm::SchedulerTasks::put");
    const auto track = std::dynamic_pointer_cast<PlaybackTrack>(playback);
    const auto playlist = std::dynamic_pointer_cast<PlaybackPlaylist>(playback);

    TaskPtr start;
    if (type == taskOnce) {
        start = std::make_shared<scheduler::task::Once>(ids.start, record.startDate, record.startTime,
                                                        startEvent(playback));
    } else {
        start = std::make_shared<scheduler::task::Daily>(ids.start, startEvent(playback));
        start->setDateTime(record.startDate, record.startTime, record.finalDate);
    }
    // A message plays on the priority channel, which a stop task does not reach.
    TaskPtr stop;
    if (type == taskDaily && playlist && !record.stopTime.empty()) {
        stop = std::make_shared<scheduler::task::Daily>(ids.stop, [playlist] { playlist->stopOwnStart(); });
        const StopDates dates =
            stopTaskDates(record.startDate, record.finalDate, record.startTime, record.stopTime);
        stop->setDateTime(dates.startDate, record.stopTime, dates.finalDate);
        // A stop that a step of the clock or a halt of the machine passed over still ends the
        // playback, late.
        stop->setRunsLate(true);
        start->setStopTime(record.stopTime);
    }
    if (track) {
        // A task disabled when it falls due changes what the file keeps.
        DisabledListener disabled = [listener = messageDisabled_, changes = changes_, sizes = sizes_,
                                     task = std::weak_ptr<BaseTask>(start)] {
            if (const auto disabledTask = task.lock()) sizes->flag(*disabledTask, false);
            changes.mark();
            if (listener) listener();
        };
        start->setEvent([track, task = std::weak_ptr<BaseTask>(start), disabled = std::move(disabled)] {
            checkPlaybackAndTask(track, task.lock(), disabled);
        });
    }

    record.stopTaskId = stop ? static_cast<std::int32_t>(ids.stop) : -1;
    record.isStopTask = false;
    start->setClientData(record);
    start->enable(enabled);
    if (stop) {
        DataVault stopRecord = record;
        stopRecord.stopTaskId = 0;
        stopRecord.isStopTask = true;
        stop->setClientData(stopRecord);
        stop->enable(enabled);
    }

    debug::throwIfFalse(core_.putTask(start), "Failure to add a startTask");
    if (stop && !core_.putTask(stop)) {
        core_.erase(ids.start);
        debug::throwIfFalse(false, "Failure to add startTask at end");
    }
    {
        std::lock_guard<std::mutex> guard(sizes_->lock);
        if (sizes_->measure) {
            const std::size_t bytes = sizes_->measure(record, type, enabled);
            sizes_->elements[ids.start] = {bytes, enabled};
            sizes_->total += bytes;
        }
    }
    changes_.mark();
    return stop != nullptr;
}

void SchedulerTasks::checkPlaybackAndTask(const std::shared_ptr<PlaybackTrack>& track, const TaskPtr& task,
                                          const DisabledListener& messageDisabled) {
    const debug::Place place("frm::SourceSchedulerPanel::checkPlaybackAndTask");
    if (!track || !task) {
        place.error(L"Error of data. Playback or task is null.");
        return;
    }
    const std::wstring message = track->getMessageFullPath();
    const std::wstring gong = track->getGongPath();
    const bool found = base::pathExists(message) && (gong.empty() || base::pathExists(gong));
    // A file that is no MPEG audio is refused here rather than left to hold the priority channel.
    if (found && audio::canDecodeMp3File(message) && (gong.empty() || audio::canDecodeMp3File(gong))) {
        track->action();
        return;
    }
    if (found)
        place.error(L"Задание имеет файлы, которые не воспроизводятся: '%1%'/'%2%'", message, gong);
    else
        place.error(L"Задание имеет неверные пути файлов '%1%'/'%2%'", message, gong);
    task->enable(false);
    if (messageDisabled) messageDisabled();
}

void SchedulerTasks::enable(const std::vector<std::uint32_t>& ids, bool enabled) {
    const debug::Place place("frm::SourceSchedulerPanel::enableTaskOnButtonClick");
    for (const std::uint32_t id : ids) {
        const auto task = core_.getTask(id);
        if (!task) {
            place.warn(L"Internal error. Task not found.");
            continue;
        }
        task->enable(enabled);
        const auto base = std::dynamic_pointer_cast<BaseTask>(task);
        debug::throwIfFalse(base != nullptr, "frm::SourceSchedulerPanel::enableTaskOnButtonClick");
        sizes_->flag(*base, enabled);
        const std::int32_t stopId = base->getClientData().stopTaskId;
        if (stopId <= 0) continue;
        const auto stop = core_.getTask(static_cast<std::uint32_t>(stopId));
        if (!stop) {
            place.error(L"Отсутствует парное задание останова");
            continue;
        }
        stop->enable(enabled);
    }
    changes_.mark();
}

void SchedulerTasks::erase(const std::vector<std::uint32_t>& ids) {
    const debug::Place place("frm::SourceSchedulerPanel::deleteTaskOnButtonClick");
    for (const std::uint32_t id : ids) {
        core_.erase(id);
        {
            std::lock_guard<std::mutex> guard(sizes_->lock);
            const auto element = sizes_->elements.find(id);
            if (element != sizes_->elements.end()) {
                sizes_->total -= element->second.bytes;
                sizes_->elements.erase(element);
            }
        }
        place.info(L"Удалено задание N%1%", id);
        // Only the stop task of the pair, never a task of another kind under the next id.
        const auto next = std::dynamic_pointer_cast<BaseTask>(core_.getTask(id + 1));
        if (next && next->getClientData().isStopTask) core_.erase(id + 1);
    }
    changes_.mark();
}

std::vector<std::uint32_t> SchedulerTasks::targetIds(const IPlayback& playback) {
    std::vector<std::uint32_t> ids;
    for (const auto& target : playback.getTargets()) ids.push_back(target->getId());
    return ids;
}

std::vector<SchedulerTasks::TaskPtr> SchedulerTasks::tasks(const char* check) const {
    std::vector<TaskPtr> result;
    for (const auto& [id, task] : core_.getTasks()) {
        auto base = std::dynamic_pointer_cast<BaseTask>(task);
        debug::terminateIfNull(base, check);
        result.push_back(std::move(base));
    }
    return result;
}

namespace {

bool ofKind(const IPlayback& playback, const std::wstring& kind) {
    const auto collection = playback.getCollection();
    return collection && collection->getKind() == kind;
}

}  // namespace

bool SchedulerTasks::isUsedDevice(const ZoneElement::DevicePtr& device) const {
    for (const auto& task : tasks("Internal error. Task pointer is null2")) {
        const auto playlist = std::dynamic_pointer_cast<PlaybackPlaylist>(task->getClientData().playback);
        if (playlist && playlist->getTargets().count(device) != 0) return true;
    }
    return false;
}

bool SchedulerTasks::isUsedFile(const std::wstring& path) const {
    for (const auto& task : tasks()) {
        const auto track = std::dynamic_pointer_cast<PlaybackTrack>(task->getClientData().playback);
        if (track && (track->getMessagePath() == path || track->getGongPath() == path)) return true;
    }
    return false;
}

std::shared_ptr<IPlayback> SchedulerTasks::getPlayback(const std::wstring& kind,
                                                       const std::wstring& name) const {
    const debug::Place place("frm::SourceSchedulerPanel::getPlayback");
    place.trace(L"");
    for (const auto& [id, task] : core_.getTasks()) {
        const auto base = std::dynamic_pointer_cast<BaseTask>(task);
        if (!base) {
            place.error(L"It is unknown type of scheduler");
            continue;
        }
        const auto playback = base->getClientData().playback;
        if (!playback) {
            place.error(L"It is unknown playback in scheduler.");
            continue;
        }
        if (ofKind(*playback, kind) && playback->getName() == name) return playback;
    }
    return nullptr;
}

void SchedulerTasks::renamePlaylist(const std::wstring& kind, const std::wstring& oldName,
                                    const std::wstring& newName) {
    debug::Place("frm::SourceSchedulerPanel::renamePlaylist").trace(L"");
    if (oldName == newName) return;
    // Found before any is renamed: a start task and its stop task share their playback.
    std::vector<TaskPtr> renamed;
    for (const auto& task : tasks()) {
        const auto playback = task->getClientData().playback;
        if (playback && ofKind(*playback, kind) && playback->getName() == oldName) renamed.push_back(task);
    }
    for (const auto& task : renamed) task->getClientData().playback->setName(newName);
    {
        std::lock_guard<std::mutex> guard(sizes_->lock);
        for (const auto& task : renamed) {
            const auto element = sizes_->elements.find(task->getId());
            if (element == sizes_->elements.end()) continue;
            const std::size_t bytes = sizes_->measured(*task, element->second.enabled);
            sizes_->total = sizes_->total - element->second.bytes + bytes;
            element->second.bytes = bytes;
        }
    }
    changes_.mark();
}

bool SchedulerTasks::existPlaylist(const std::wstring& kind, const std::wstring& name) const {
    debug::Place("frm::SourceSchedulerPanel::existPlaylist").trace(L"");
    return getPlayback(kind, name) != nullptr;
}

void SchedulerTasks::measureWith(ElementSize size) {
    std::lock_guard<std::mutex> guard(sizes_->lock);
    sizes_->measure = std::move(size);
    sizes_->elements.clear();
    sizes_->total = 0;
    if (!sizes_->measure) return;
    for (const auto& task : tasks()) {
        if (task->getClientData().isStopTask) continue;
        const std::size_t bytes = sizes_->measured(*task, task->isEnabled());
        sizes_->elements[task->getId()] = {bytes, task->isEnabled()};
        sizes_->total += bytes;
    }
}

std::size_t SchedulerTasks::writtenSize() const {
    std::lock_guard<std::mutex> guard(sizes_->lock);
    return sizes_->total;
}

std::size_t SchedulerTasks::writtenSizeEnabled(const std::vector<std::uint32_t>& ids, bool enabled) const {
    std::lock_guard<std::mutex> guard(sizes_->lock);
    std::size_t size = sizes_->total;
    for (const std::uint32_t id : ids) {
        const auto element = sizes_->elements.find(id);
        const auto task = std::dynamic_pointer_cast<BaseTask>(core_.getTask(id));
        if (element == sizes_->elements.end() || element->second.enabled == enabled || !task) continue;
        size = size - element->second.bytes + sizes_->measured(*task, enabled);
    }
    return size;
}

std::size_t SchedulerTasks::writtenSizeRenamed(const std::wstring& kind, const std::wstring& oldName,
                                               const std::wstring& newName) const {
    std::size_t renamed = 0;
    for (const auto& task : tasks()) {
        const DataVault record = task->getClientData();
        if (!record.isStopTask && record.playback && ofKind(*record.playback, kind) &&
            record.playback->getName() == oldName)
            ++renamed;
    }
    return writtenSize() - renamed * storage::writtenSize(oldName) + renamed * storage::writtenSize(newName);
}

std::size_t SchedulerTasks::Sizes::measured(const BaseTask& task, bool enabled) const {
    return measure(task.getClientData(),
                   dynamic_cast<const scheduler::task::Once*>(&task) ? taskOnce : taskDaily, enabled);
}

void SchedulerTasks::Sizes::flag(const BaseTask& task, bool enabled) {
    std::lock_guard<std::mutex> guard(lock);
    const auto element = elements.find(task.getId());
    if (element == elements.end() || element->second.enabled == enabled || !measure) return;
    const std::size_t bytes = measured(task, enabled);
    total = total - element->second.bytes + bytes;
    element->second = {bytes, enabled};
}

}  // namespace frm
