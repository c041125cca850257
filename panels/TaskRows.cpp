#include "panels/TaskRows.h"

#include "audio/PlaybackCollection.h"
#include "audio/PlaybackTrack.h"
#include "devicelink/DeviceBase.h"

namespace frm {

const TaskRows::Texts& TaskRows::texts(std::size_t row) const {
    const auto made = made_.find(row);
    if (made != made_.end()) return made->second;
    return made_.emplace(row, makeTexts(row)).first->second;
}

TaskRows::Texts TaskRows::makeTexts(std::size_t row) const {
    const Row& each = rows_.at(row);
    const scheduler::task::DataVault& record = *each.record;
    TaskRowSource source;
    source.once = dynamic_cast<const scheduler::task::Once*>(each.task.get()) != nullptr;
    source.enabled = each.task->isEnabled();
    source.startDate = record.startDate;
    source.finalDate = record.finalDate;
    source.startTime = record.startTime;
    source.stopTime = record.stopTime;
    source.stopTaskId = record.stopTaskId;
    if (record.playback) {
        const auto collection = record.playback->getCollection();
        source.collectionTitle = collection ? collection->getTitle() : std::wstring();
        source.playbackName = record.playback->getName();
        if (const auto track = std::dynamic_pointer_cast<PlaybackTrack>(record.playback))
            source.gongName = track->getGongName();
        for (const std::uint32_t id : record.deviceEntries)
            source.deviceNames.push_back(deviceName(names_, record, id));
    }
    return taskRowTexts(source);
}

std::wstring TaskRows::deviceName(const Names& names, const scheduler::task::DataVault& record,
                                  std::uint32_t id) {
    if (const auto name = names.find(id); name != names.end()) return name->second;
    if (record.playback) {
        for (const auto& target : record.playback->getTargets()) {
            if (target->getId() == id) return target->getDisplayName();
        }
    }
    return {};
}

}  // namespace frm
