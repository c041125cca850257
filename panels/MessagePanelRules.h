#pragma once
// What the message panel decides, apart from its window: the refusals of its three actions in
// their order, the playbacks that its messages offer to the scheduler, what the service panel
// plays and what the alarm panel hands to the alarm channel, and the information text.

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio/IPlayback.h"
#include "audio/Playlist.h"
#include "foundation/Log.h"
#include "panels/MessageStore.h"

namespace frm {

// What the panel tells the operator (through the logger) instead of acting.
struct Report {
    base::Log::Level level = base::Log::NOTICE;
    std::wstring text;
};

// The name under which the scheduler knows a message: its group's name, ": " and its own.
std::wstring playbackName(const std::wstring& prefix, const std::wstring& name);

// The messages below the item as tracks named by playbackName (kind 4 on the service panel, 5
// with the alarm flag on the alarm panel), without their gongs; their message paths are added to
// `usedPaths` when given.
std::vector<std::shared_ptr<IPlayback>> messagePlaybacks(const MessageItem& item, const std::wstring& prefix,
                                                         bool alarm,
                                                         std::set<std::wstring>* usedPaths = nullptr);

// "Создать группу" with the typed name, beside the groups under the root.
std::optional<Report> createGroupRefusal(const std::wstring& name,
                                         const std::vector<std::wstring>& groupNames);

// The operator's choices for "Добавить сообщение".
struct NewMessageInput {
    std::wstring name;
    enum Selection { nothing, groupUnderRoot, deeperItem } selection = nothing;
    // Whether the selected item under the root carries a group's payload, and its name.
    bool groupPayload = false;
    std::wstring groupName;
    // The entries chosen (-1 for none) and the lengths of the path lists beside the choices.
    int gongIndex = -1;
    std::size_t gongCount = 0;
    int messageIndex = -1;
    std::size_t messageCount = 0;
    // The playback names of the whole tree.
    std::vector<std::wstring> takenNames;
};
std::optional<Report> addMessageRefusal(const NewMessageInput& input);

// "Удалить выделенное": refused while the panel's channel plays, without a selection, and for a
// message or a group whose playbacks the scheduler uses. `prefix` is the name of the item's
// parent group (empty under the root).
std::optional<Report> deleteRefusal(bool channelBusy, const MessageItem* selected, const std::wstring& prefix,
                                    const std::function<bool(const std::wstring&)>& scheduled);

// Refused when the message or its gong is missing or is no MPEG audio that the priority stream
// decodes.
std::optional<Report> messageFilesRefusal(const MessageItem& message);

// What the service panel plays: the gong when set, then the message, each titled with its file
// name; or the refusal of its files, so that a gong is never played as if the message had been
// heard.
struct ServicePlaylist {
    std::vector<Playlist::Item> items;
    std::optional<Report> refusal;
};
ServicePlaylist servicePlaylist(const MessageItem& message);

// What the alarm panel hands to the alarm channel.
struct AlarmLaunch {
    int priority = 0;
    std::wstring description;
    std::wstring messagePath;
    std::wstring gongPath;
    int volume = 0;
    // Refused up front, before the loudspeakers are taken.
    std::optional<Report> refusal;
};
AlarmLaunch alarmLaunch(const MessageItem& message);
// The alarm panel's stop leaves a broadcast of this priority running.
constexpr int kUnstoppablePriority = 4;

// The information text of the item chosen in the tree: empty for a group.
std::wstring messageInformation(const MessageItem& item);

}  // namespace frm
