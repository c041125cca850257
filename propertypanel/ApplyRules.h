#pragma once
// What "&Применить" writes for each page, decided without the window: the window reads its
// controls into these records and writes what comes back to the device.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "devicelink/CommonConfig.h"
#include "devices/TribelConfig.h"
#include "devices/VokarConfig.h"
#include "propertypanel/PageFill.h"

namespace frm::apply {

// The common page of a loudspeaker: item 1 of the line mode is "Соединенные линии".
device::VokarConfig loudspeakerCommon(device::VokarConfig config, int lineModeItem, bool lineTest);

// The console's options of the common page as the controls hold them. Choices without a
// selection are empty and keep the configured value.
struct ConsoleControls {
    std::optional<std::uint16_t> gongId;
    bool gong = false;
    bool keySound = false;
    bool faultSound = false;
    bool singlePower = false;
    bool analogInput = false;
    bool zoneIndication = false;
    bool holdToTalk = false;
    int type = 0;
    int typePriority = 0;
    std::optional<std::uint32_t> powerInput1;
    std::optional<std::uint32_t> powerInput2;
};
device::TribelConfig consoleConfig(device::TribelConfig config, const ConsoleControls& controls);

struct NetworkControls {
    std::string multicast;
    bool allowIp = false;
    std::string allowedIp;
    int basePort = 0;
    bool dhcp = false;
    fill::AddressFields addresses;
    bool lanRedundancy = false;
    bool igmp = false;
};
// The IGMP report interval, seconds, written while the extra reports are on.
constexpr std::uint32_t kIgmpReportSeconds = 60;
device::CommonConfig networkConfig(device::CommonConfig config, const NetworkControls& controls);

struct NeridaControls {
    int address = 0;
    bool relay = false;
    bool interfaceError = false;
    bool lineReserve = false;
};
device::CommonConfig neridaConfig(device::CommonConfig config, const NeridaControls& controls);

struct SourceControls {
    bool allowOther = false;
    bool passInput1 = false;
    bool passInput2 = false;
    // The texts of the selected priority items in the order of fill::priorityItems; empty for a
    // choice without a selection, which keeps the configured value.
    std::array<std::wstring, fill::kPriorityCount> priorities;
    // What the hidden alarm stream holds afterwards (fill::hiddenPriority of the values the
    // choices show); empty keeps its configured value.
    std::optional<std::uint16_t> hiddenPriority;
    // The selected scenario of each input: the first item ("ГОиЧС / Микрофон") is device::ain::none;
    // empty when nothing is selected, which keeps the configured scenario.
    std::array<std::optional<std::int16_t>, 2> scenarios;
    std::array<bool, 2> lineIntegrity{};
};
// The alarm stream's priority is written from its choice while its row is shown, else from
// `hiddenPriority`. A priority text that is no 16-bit number is exception::IncorrectFormat.
device::VokarConfig sourceConfig(device::VokarConfig config, const SourceControls& controls,
                                 bool alarmStreamShown);

// What the panel does once a page's apply ran: `written` is false when the device refused or a
// refusal was shown, `stopped` when the page could not be applied at all (a ticked row that is
// no known device, already reported), `closeAfterwards` when the device asks for the panel to
// close. A stopped apply leaves everything as the operator left it: edits, buttons, panel.
struct ApplyEnding {
    bool reportSuccess = false;
    bool disableButtons = false;
    bool refill = false;
    bool close = false;
};
ApplyEnding applyEnding(bool written, bool stopped, bool closeAfterwards);

// The zone targets of a console.
struct ZoneApply {
    enum class Action { refuse, unbind, rebind };
    Action action = Action::refuse;
    // The scenario the zone starts: -1 for the microphone.
    int scenario = -1;
    // Why it is refused.
    std::wstring refusal;
};
// `zone`: the zone being edited, none before a zone button was pressed; `messageItem`: the
// selection of the message choice (-1 for none); `chosen`: the loudspeakers ticked.
ZoneApply zoneApply(std::optional<int> zone, int messageItem, std::size_t chosen);

// The text a refusal of the registry's binding operations is shown with. Codes other than the
// ones the registry names are shown with their code.
std::wstring refusalText(const std::wstring& code);

}  // namespace frm::apply
