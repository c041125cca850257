#include "audio/PlaybackTrack.h"

#include <algorithm>

#include "audio/PlaceFolders.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"

namespace frm {
namespace {

constexpr int kAlarmPriority = 3;
constexpr int kMessagePriority = 2;

}  // namespace

PlaybackTrack::PlaybackTrack(const std::wstring& name, int kind, bool alarm)
    : IPlayback(name), kind_(kind), alarm_(alarm) {}

PlaybackTrack::PlaybackTrack(const PlaybackTrack& other)
    : IPlayback(other), kind_(other.kind_), alarm_(other.alarm_) {
    std::lock_guard<std::mutex> guard(other.lock());
    messageName_ = other.messageName_;
    messagePath_ = other.messagePath_;
    gongName_ = other.gongName_;
    gongPath_ = other.gongPath_;
}

std::shared_ptr<IPlayback> PlaybackTrack::clone() const {
    return std::shared_ptr<IPlayback>(new PlaybackTrack(*this));
}

void PlaybackTrack::setMessage(const std::wstring& name, const std::wstring& path) {
    std::lock_guard<std::mutex> guard(lock());
    messageName_ = name;
    messagePath_ = path;
}

void PlaybackTrack::setGong(const std::wstring& name, const std::wstring& path) {
    std::lock_guard<std::mutex> guard(lock());
    gongName_ = name;
    gongPath_ = path;
}

std::wstring PlaybackTrack::getMessageName() const {
    std::lock_guard<std::mutex> guard(lock());
    return messageName_;
}

std::wstring PlaybackTrack::getMessagePath() const {
    std::lock_guard<std::mutex> guard(lock());
    return messagePath_;
}

std::wstring PlaybackTrack::getGongName() const {
    std::lock_guard<std::mutex> guard(lock());
    return gongName_;
}

std::wstring PlaybackTrack::getGongPath() const {
    std::lock_guard<std::mutex> guard(lock());
    return gongPath_;
}

std::wstring PlaybackTrack::getMessageFullPath() const {
    std::wstring path = getMessagePath();
    base::fileExistsIn(path, alarm_ ? audio::alarmMessageFolder() : audio::serviceMessageFolder());
    return path;
}

AlarmChannel::Broadcast PlaybackTrack::getBroadcast() const {
    AlarmChannel::Broadcast broadcast;
    broadcast.priority = alarm_ ? kAlarmPriority : kMessagePriority;
    broadcast.description = getName();
    broadcast.messagePath = getMessageFullPath();
    broadcast.gongPath = getGongPath();
    const int volume = alarm_                      ? 100
                       : kind_ == kRecordedMessage ? pref::getInt(setting::volumeMicrophone)
                                                   : pref::getInt(setting::volumeServiceMessage);
    broadcast.volume = std::clamp(volume, 0, 100);
    broadcast.targets = getTargets();
    return broadcast;
}

bool PlaybackTrack::action() {
    base::SingletonSlot<AlarmChannel>::Use channel(AlarmChannel::instanceSlot());
    if (!channel) {
        debug::Place("frm::PlaybackTrack::action")
            .error(L"Internal error. No alarm channel for '%1%'", getName());
        return false;
    }
    return channel->launch(getBroadcast());
}

}  // namespace frm
