#pragma once
// What the zone-target page of a console shows, decided without the window: the colour of each
// zone button, which loudspeakers are listed with what label and colour, and whether the listed
// loudspeakers share one audio memory, so that their messages can be offered; the whole page from
// what was read of the console, the registry and the bound loudspeakers' memories.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "devicelink/ConsoleZone.h"
#include "devicelink/IAudioControl.h"

namespace frm::zones {

enum class Colour { plain, red, yellow, green, lightGreen, grey, amber };

// The state of a console's zone as its masks (bit n for zone n), the integrity search and its
// zone list tell it. `scenario`: the zone's message, -1 for the microphone; none when the list
// has no such zone.
struct ZoneState {
    std::uint32_t bound = 0;
    std::uint32_t connected = 0;
    std::uint32_t activated = 0;
    bool reportedBroken = false;
    std::optional<int> scenario;
};
Colour zoneColour(int zone, const ZoneState& state);

struct Loudspeaker {
    std::string address;
    std::wstring name;
    bool bound = false;
    std::int32_t versionId = 0;
    bool answering = false;
    bool broken = false;
    bool lost = false;
    // It plays an alarm now.
    bool alarm = false;
};
struct Row {
    bool listed = false;
    std::wstring label;
    // plain for a loudspeaker that is not bound.
    Colour background = Colour::plain;
};
// A bound loudspeaker is always listed; another one only when it is new enough for zone lists and
// answers.
Row loudspeakerRow(const Loudspeaker& loudspeaker, bool debugMode);

// Whether the loudspeakers share one audio memory, judged by its stamp as each comes; a
// loudspeaker whose memory could not be read (nothing) mismatches.
class MemoryMatch {
public:
    // `registered`: the loudspeakers the registry holds; with one the hint is never shown.
    explicit MemoryMatch(std::size_t registered) : registered_(registered) {}
    // The loudspeaker at `index`: its answering and its memory's stamp.
    void add(std::size_t index, bool answering, const std::optional<std::wstring>& stamp);
    // The loudspeaker whose messages may be offered; none after a mismatch.
    std::optional<std::size_t> reference() const { return reference_; }
    // "Для выбора сообщений необходима одинаковая аудио память".
    bool hint() const { return hint_; }

private:
    std::size_t registered_;
    bool started_ = false;
    std::optional<std::size_t> reference_;
    std::wstring stamp_;
    bool hint_ = false;
};

// The message choice once the operator ticked loudspeakers: their memories' stamps in order
// (nothing for one not answering or without memory); `unknownTicked`: a row without a device is
// ticked.
struct Messages {
    bool microphoneOnly = true;
    bool hint = false;
};
Messages messagesFor(const std::vector<std::optional<std::wstring>>& stamps, bool unknownTicked);

// The item of the message choice that a scenario of the memory gives.
std::wstring scenarioItem(const device::memory::ScenarioEntry& scenario);

constexpr int kZoneCount = 20;

// A loudspeaker of the registry as the page reads it.
struct Listed {
    // The three bytes of its hardware address after the maker's prefix, by which consoles name it.
    std::uint32_t low = 0;
    std::string address;
    std::wstring name;
    std::int32_t versionId = 0;
    bool answering = false;
    bool alarm = false;
    // Its audio memory's stamp and scenarios, read for a bound loudspeaker that answers; no stamp
    // when there is no memory to read.
    std::optional<std::wstring> stamp;
    std::vector<device::memory::ScenarioEntry> scenarios;
};

// What the page reads of the console, the registry's integrity search and the loudspeakers.
struct TargetsRead {
    std::uint32_t bound = 0;
    std::uint32_t connected = 0;
    std::uint32_t activated = 0;
    // The search lists the console; `broken` holds its zones with the addresses it reports.
    bool consoleBroken = false;
    std::map<int, std::vector<std::string>> broken;
    device::ConsoleZones zones;
    // The low addresses of the loudspeakers the console lost.
    std::set<int> switchedOff;
    bool fire = false;
    // In the registry's order.
    std::vector<Listed> loudspeakers;
};

// A check box of the loudspeaker list: one of the loudspeakers read, or an address the search
// reports that no registered loudspeaker has.
struct Box {
    std::wstring label;
    bool ticked = false;
    std::optional<std::size_t> loudspeaker;
    Colour background = Colour::plain;
    bool operator==(const Box& other) const {
        return label == other.label && ticked == other.ticked && loudspeaker == other.loudspeaker &&
               background == other.background;
    }
};

struct TargetsView {
    // Zone n's button at n - 1.
    std::array<Colour, kZoneCount> buttons{};
    std::vector<Box> boxes;
    // A loudspeaker of the registry is listed; without one the list says so, whatever addresses
    // of no known loudspeaker it shows.
    bool anyListed = false;
    bool allTicked = true;
    bool hint = false;
    bool removeZoneEnabled = false;
    bool fixShown = false;
    // The message choice: the microphone first, then the scenarios of the memory the bound
    // loudspeakers share; the item selected, -1 for none.
    std::vector<std::wstring> messages;
    int message = -1;
    bool messageEnabled = false;
};
// The page for the zone `zone` (none before a zone button was pressed).
TargetsView targetsView(const TargetsRead& read, std::optional<int> zone, bool debugMode);

}  // namespace frm::zones
