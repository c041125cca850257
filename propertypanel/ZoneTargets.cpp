#include "propertypanel/ZoneTargets.h"

#include "foundation/TextConversion.h"

namespace frm::zones {
namespace {

// The first loudspeaker generation that keeps zone lists.
constexpr std::int32_t kZoneListVersion = 16;

}  // namespace

Colour zoneColour(int zone, const ZoneState& state) {
    if (zone < 0 || zone > 31) return Colour::plain;
    const std::uint32_t bit = std::uint32_t{1} << zone;
    if ((state.bound & bit) == 0) return Colour::plain;
    if ((state.activated & bit) != 0) return Colour::red;
    if ((state.connected & bit) == 0 || state.reportedBroken || !state.scenario) return Colour::yellow;
    return *state.scenario != -1 ? Colour::green : Colour::lightGreen;
}

Row loudspeakerRow(const Loudspeaker& loudspeaker, bool debugMode) {
    Row row;
    row.listed = loudspeaker.bound || (loudspeaker.versionId >= kZoneListVersion && loudspeaker.answering);
    if (!row.listed) return row;
    row.label = debugMode ? base::widen(loudspeaker.address) + L" | " + loudspeaker.name : loudspeaker.name;
    if (!loudspeaker.bound) return row;
    if (!loudspeaker.answering) {
        row.label += L" [Не в сети]";
        row.background = Colour::grey;
        return row;
    }
    if (loudspeaker.broken) {
        row.label += L" [Ошибка конфигурации]";
    } else if (loudspeaker.lost) {
        row.label += L" [Потерян]";
    }
    if (loudspeaker.alarm) {
        row.background = Colour::red;
    } else {
        row.background = loudspeaker.broken || loudspeaker.lost ? Colour::amber : Colour::lightGreen;
    }
    return row;
}

void MemoryMatch::add(std::size_t index, bool answering, const std::optional<std::wstring>& stamp) {
    if (!started_) {
        started_ = true;
        if (answering && stamp) {
            reference_ = index;
            stamp_ = *stamp;
        } else {
            stamp_ = L"unknown";
        }
    }
    if (answering && stamp && *stamp == stamp_) return;
    if (registered_ > 1) hint_ = true;
    reference_.reset();
}

Messages messagesFor(const std::vector<std::optional<std::wstring>>& stamps, bool unknownTicked) {
    Messages messages;
    if (unknownTicked) {
        messages.hint = true;
        return messages;
    }
    if (stamps.empty()) return messages;
    for (const std::optional<std::wstring>& stamp : stamps) {
        if (!stamp) return messages;
        if (*stamp != *stamps.front()) {
            messages.hint = stamps.size() > 1;
            return messages;
        }
    }
    messages.microphoneOnly = false;
    return messages;
}

}  // namespace frm::zones
