#include "propertypanel/ZoneTargetsRules.h"

#include <algorithm>

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

std::wstring scenarioItem(const device::memory::ScenarioEntry& scenario) {
    return std::to_wstring(unsigned{scenario.order}) + L" - " + scenario.name;
}

TargetsView targetsView(const TargetsRead& read, std::optional<int> zone, bool debugMode) {
    TargetsView view;
    for (int number = 1; number <= kZoneCount; ++number) {
        ZoneState state{read.bound, read.connected, read.activated,
                        read.consoleBroken && read.broken.count(number) == 1, std::nullopt};
        if (const auto found = read.zones.find(number); found != read.zones.end())
            state.scenario = found->second.scenario;
        view.buttons[static_cast<std::size_t>(number - 1)] = zoneColour(number, state);
    }
    // The addresses reported for the zone that no listed loudspeaker has are left at the end.
    std::vector<std::string> broken;
    device::ConsoleZone current;
    if (zone) {
        if (const auto found = read.broken.find(*zone); read.consoleBroken && found != read.broken.end())
            broken = found->second;
        if (const auto found = read.zones.find(*zone); found != read.zones.end()) current = found->second;
    }
    view.removeZoneEnabled = !current.addresses.empty();

    MemoryMatch match(read.loudspeakers.size());
    for (std::size_t index = 0; index < read.loudspeakers.size(); ++index) {
        const Listed& listed = read.loudspeakers[index];
        Loudspeaker seen;
        seen.bound = current.addresses.count(listed.low) == 1;
        seen.versionId = listed.versionId;
        seen.answering = listed.answering;
        const auto reported = std::find(broken.begin(), broken.end(), listed.address);
        seen.broken = reported != broken.end();
        if (seen.broken) broken.erase(reported);
        seen.lost = read.switchedOff.count(static_cast<int>(listed.low)) == 1;
        seen.alarm = listed.alarm;
        seen.name = listed.name;
        if (debugMode) seen.address = listed.address;
        const Row row = loudspeakerRow(seen, debugMode);
        if (!row.listed) continue;
        view.boxes.push_back({row.label, seen.bound, index, row.background});
        view.anyListed = true;
        view.allTicked = view.allTicked && seen.bound;
        if (seen.bound) match.add(index, seen.answering, listed.stamp);
    }
    view.hint = match.hint();
    for (const std::string& address : broken)
        view.boxes.push_back(
            {base::widen(address) + L" [Неизвестное устройство]", true, std::nullopt, Colour::grey});

    view.messages = {L"Вещание с микрофона"};
    if (current.scenario == device::ConsoleZone::noScenario) view.message = 0;
    view.messageEnabled = read.fire;
    if (const auto reference = match.reference()) {
        for (const device::memory::ScenarioEntry& scenario : read.loudspeakers[*reference].scenarios)
            view.messages.push_back(scenarioItem(scenario));
        if (current.scenario >= 0 && static_cast<std::size_t>(current.scenario) < view.messages.size())
            view.message = current.scenario;
    }
    view.fixShown = read.consoleBroken;
    return view;
}

}  // namespace frm::zones
