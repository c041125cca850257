#pragma once
// One message file, after an optional gong, to broadcast on its targets through the alarm
// channel: a recorded message (kind 3), a service message (kind 4) or an alarm message (kind 5,
// with the alarm flag). An alarm track goes at priority 3 and full volume; the others at
// priority 2 and the volume of their settings key (`volume.microphone2` for recordings,
// `volume.serviceMessage2` otherwise).

#include <memory>
#include <string>

#include "audio/AlarmChannel.h"
#include "audio/IPlayback.h"

namespace frm {

class PlaybackTrack : public IPlayback {
public:
    static constexpr int kRecordedMessage = 3;

    PlaybackTrack(const std::wstring& name, int kind, bool alarm);

    // Launches gong and message on the alarm channel for the targets.
    bool action() override;
    std::shared_ptr<IPlayback> clone() const override;

    void setMessage(const std::wstring& name, const std::wstring& path);
    void setGong(const std::wstring& name, const std::wstring& path);
    std::wstring getMessageName() const;
    std::wstring getMessagePath() const;
    std::wstring getGongName() const;
    std::wstring getGongPath() const;
    int getKind() const { return kind_; }
    bool isAlarm() const { return alarm_; }

    // The message path; when the stored one does not exist, the file of the same name in the
    // folder of `place.pathDirAlarmMessage` (alarm track) or `place.pathDirServiceMessage`
    // (the others) when that exists. The track itself keeps its stored path.
    std::wstring getMessageFullPath() const;
    // What action hands to the alarm channel.
    AlarmChannel::Broadcast getBroadcast() const;

private:
    PlaybackTrack(const PlaybackTrack& other);

    const int kind_;
    const bool alarm_;
    // Under the playback's lock.
    std::wstring messageName_;
    std::wstring messagePath_;
    std::wstring gongName_;
    std::wstring gongPath_;
};

}  // namespace frm
