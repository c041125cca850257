#include "panels/MessagePanelRules.h"

#include <algorithm>
#include <boost/format.hpp>

#include "audio/Mp3FileDecoder.h"
#include "audio/PlaybackTrack.h"
#include "foundation/Files.h"
#include "foundation/Place.h"

namespace frm {
namespace {

constexpr int kServiceTrack = 4;
constexpr int kAlarmTrack = 5;
constexpr int kAlarmPriority = 3;
constexpr int kAlarmVolume = 100;

Report report(base::Log::Level level, const std::wstring& text) {
    return Report{level, text};
}

bool contains(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::wstring playbackName(const std::wstring& prefix, const std::wstring& name) {
    return prefix + L": " + name;
}

std::vector<std::shared_ptr<IPlayback>> messagePlaybacks(const MessageItem& item, const std::wstring& prefix,
                                                         bool alarm, std::set<std::wstring>* usedPaths) {
    std::vector<std::shared_ptr<IPlayback>> playbacks;
    for (const MessageItem& child : item.children) {
        if (child.kind == MessageItem::messageItem) {
            auto track = std::make_shared<PlaybackTrack>(playbackName(prefix, child.name),
                                                         alarm ? kAlarmTrack : kServiceTrack, alarm);
            track->setMessage(base::getFileName(child.message, true), child.message);
            if (usedPaths) usedPaths->insert(child.message);
            playbacks.push_back(std::move(track));
        } else if (child.kind == MessageItem::groupItem) {
            const auto below = messagePlaybacks(child, child.name, alarm, usedPaths);
            playbacks.insert(playbacks.end(), below.begin(), below.end());
        } else {
            debug::Place("frm::SourceServicePanel::getPlaybackSources")
                .error(L"Internal error. Unknown type '%1%'", child.kind);
        }
    }
    return playbacks;
}

std::optional<Report> createGroupRefusal(const std::wstring& name,
                                         const std::vector<std::wstring>& groupNames) {
    if (contains(groupNames, name)) return report(base::Log::WARN, L"Одинаковое название группы");
    if (name.empty()) return report(base::Log::NOTICE, L"Введите название группы");
    return std::nullopt;
}

std::optional<Report> addMessageRefusal(const NewMessageInput& input) {
    if (input.name.empty()) return report(base::Log::NOTICE, L"Введите название сообщения");
    if (input.selection == NewMessageInput::nothing) return report(base::Log::NOTICE, L"Выделите группу");
    if (input.selection == NewMessageInput::deeperItem)
        return report(base::Log::NOTICE, L"Необходимо выделить группу");
    if (input.messageIndex < 0) return report(base::Log::NOTICE, L"Необходимо выбрать сообщение");
    if (!input.groupPayload) return report(base::Log::ERROR, L"It is incorrect data or type of item");
    if (contains(input.takenNames, playbackName(input.groupName, input.name)))
        return report(base::Log::NOTICE, L"Одинаковое название в группе");
    if (input.gongIndex >= 0 && static_cast<std::size_t>(input.gongIndex) >= input.gongCount) {
        return report(base::Log::WARN,
                      (boost::wformat(L"Internal error. Position gong outside the range. %1% of %2%") %
                       input.gongIndex % input.gongCount)
                          .str());
    }
    if (static_cast<std::size_t>(input.messageIndex) >= input.messageCount) {
        return report(base::Log::WARN,
                      (boost::wformat(L"Internal error. Position message outside the range. %1% of %2%") %
                       input.messageIndex % input.messageCount)
                          .str());
    }
    return std::nullopt;
}

std::optional<Report> deleteRefusal(bool channelBusy, const MessageItem* selected, const std::wstring& prefix,
                                    const std::function<bool(const std::wstring&)>& scheduled) {
    if (channelBusy) return report(base::Log::NOTICE, L"Остановите воспроизведение");
    if (selected == nullptr) return report(base::Log::DEBUG, L"There is no selection to delete an action");
    std::vector<std::wstring> names;
    if (selected->kind == MessageItem::messageItem) {
        names.push_back(playbackName(prefix, selected->name));
    } else if (selected->kind == MessageItem::groupItem) {
        for (const auto& playback : messagePlaybacks(*selected, selected->name, false))
            names.push_back(playback->getName());
    } else {
        return report(base::Log::ERROR,
                      (boost::wformat(L"Internal error. Unknown type '%1%'") % selected->kind).str());
    }
    for (const std::wstring& name : names) {
        if (scheduled && scheduled(name))
            return report(base::Log::NOTICE, L"Выбранная единица воспроизведения входит в задание");
    }
    return std::nullopt;
}

std::optional<Report> messageFilesRefusal(const MessageItem& message) {
    const auto refusal = [](const std::wstring& path, const wchar_t* missing,
                            const wchar_t* undecodable) -> std::optional<Report> {
        if (path.empty() || !base::pathExists(path))
            return report(base::Log::ERROR, (boost::wformat(missing) % path).str());
        if (!audio::canDecodeMp3File(path))
            return report(base::Log::ERROR, (boost::wformat(undecodable) % path).str());
        return std::nullopt;
    };
    if (auto refused = refusal(message.message, L"Файл сообщения не найден: '%1%'",
                               L"Файл сообщения не воспроизводится: '%1%'"))
        return refused;
    if (message.gong.empty()) return std::nullopt;
    return refusal(message.gong, L"Файл гонга не найден: '%1%'", L"Файл гонга не воспроизводится: '%1%'");
}

ServicePlaylist servicePlaylist(const MessageItem& message) {
    ServicePlaylist playlist;
    playlist.refusal = messageFilesRefusal(message);
    if (playlist.refusal) return playlist;
    if (!message.gong.empty())
        playlist.items.emplace_back(base::getFileName(message.gong, true), message.gong);
    playlist.items.emplace_back(base::getFileName(message.message, true), message.message);
    return playlist;
}

AlarmLaunch alarmLaunch(const MessageItem& message) {
    return AlarmLaunch{kAlarmPriority, L"Тревожное оповещение",     message.message, message.gong,
                       kAlarmVolume,   messageFilesRefusal(message)};
}

std::wstring messageInformation(const MessageItem& item) {
    if (item.kind != MessageItem::messageItem) return std::wstring();
    return L"Название:\n'" + item.name + L"'\nГонг:\n'" + base::getFileName(item.gong, true) +
           L"'\nСообщение:\n'" + base::getFileName(item.message, true) + L"'";
}

}  // namespace frm
