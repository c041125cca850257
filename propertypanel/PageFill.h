#pragma once
// What the property panel's pages show when they are filled from a device, decided without the
// window: the window only puts these values on its controls.

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "devicelink/CommonConfig.h"
#include "propertypanel/DeviceTraits.h"

namespace device {
struct TribelConfig;
}

namespace frm::fill {

// A selection that fits a choice of `count` items, or -1 (nothing selected).
int choiceIndex(std::int64_t value, int count);

// The common page.
struct CommonPage {
    bool deviceTestEnabled = false;
    bool equalizerShown = false;
    // The six bands of the later loudspeakers, else bass and treble.
    bool bandEqualizer = false;
    bool lineSettingsShown = false;
    bool lineSettingsEnabled = false;
    bool consoleShown = false;
};
CommonPage commonPage(const DeviceTraits& traits);

// A console's options on the common page, with the controls the console's type and version allow.
struct ConsoleOptions {
    bool keySound = false;
    bool singlePower = false;
    bool singlePowerEnabled = false;
    bool analogInput = false;
    bool analogInputEnabled = false;
    bool faultSound = false;
    bool faultSoundEnabled = false;
    bool zoneIndication = false;
    bool holdToTalk = false;
    bool holdToTalkEnabled = false;
    int type = 0;
    int typePriority = 0;
    int powerInput1 = -1;
    int powerInput2 = -1;
    bool powerInput2Enabled = false;
    bool useGong = false;
    // Into the list of the console's fragments; -1 when the configured gong is not among them.
    int gong = -1;
    bool gongEnabled = false;
};
constexpr int kPowerInputCount = 4;
ConsoleOptions consoleOptions(const device::TribelConfig& config, std::uint32_t versionId, int fragmentCount);

// The address, mask and gateway boxes of the network page.
struct AddressFields {
    std::string ip;
    std::string mask;
    std::string gateway;
    bool operator==(const AddressFields& other) const {
        return ip == other.ip && mask == other.mask && gateway == other.gateway;
    }
};
// With DHCP on the boxes show what the device leased, else the stored static addresses.
AddressFields shownAddresses(const device::CommonConfig& config, bool dhcp);
// What "&Применить" writes: while DHCP is on the boxes show the lease, so the stored static
// addresses stay; without DHCP the operator's text.
AddressFields addressesToWrite(const device::CommonConfig& stored, bool dhcp, const AddressFields& boxes);

inline constexpr const char* kNoAddress = "0.0.0.0";

struct NetworkPage {
    bool dhcp = false;
    AddressFields addresses;
    bool addressesEnabled = true;
    std::string multicast;
    bool allowIp = false;
    std::string allowedIp = kNoAddress;
    int basePort = 0;
    bool lanRedundancyEnabled = false;
    bool lanRedundancy = false;
    bool igmpEnabled = false;
    bool igmp = false;
};
NetworkPage networkPage(const device::CommonConfig& config, const DeviceTraits& traits);

struct NeridaPage {
    int address = 0;
    bool relay = false;
    bool relayEnabled = false;
    bool interfaceError = false;
    bool lineReserve = false;
    bool lineReserveEnabled = false;
};
NeridaPage neridaPage(const device::CommonConfig& config, const DeviceTraits& traits);

// The loudspeaker's six priorities in the order of the source page's rows: Nerida messages,
// analog input 2, analog input 1, the multicast input, the console input, the alarm stream.
constexpr std::size_t kPriorityCount = 6;
constexpr std::size_t kAlarmStreamPriority = 5;
// The numbers the shown priority choices offer, highest first: "7" down to "2", of which apply
// writes the chosen ones. Hidden, the alarm stream holds one of them (hiddenPriority ranks it),
// which the five shown choices leave out, so that no shown source takes the hidden one's place.
std::vector<int> priorityNumbers(const std::array<std::uint16_t, kPriorityCount>& values,
                                 bool alarmStreamShown);
// Each shown source's item in its priority choice (in priorityNumbers): the number of its rank
// among all six, equal values ranked alike; -1 for the hidden alarm stream. Hidden, the alarm
// stream ranks above the sources of its own value, so that it never shares a number with one.
std::array<int, kPriorityCount> priorityItems(const std::array<std::uint16_t, kPriorityCount>& values,
                                              bool alarmStreamShown);
// The priority that apply writes for the hidden alarm stream: its own value where that keeps its
// rank beside the numbers the five shown take, else the number of its rank. So an apply that
// changes no priority leaves every two of the six ranked as they were.
std::uint16_t hiddenPriority(const std::array<std::uint16_t, kPriorityCount>& values);

// Whether a failed audio-memory read may end in overwriting the device's memory: only when the
// memory is of a layout the program does not know, never for a device that did not answer.
bool offerOverwrite(const std::exception& failure);

// The polling period of the debug page from the setting: one of the periods its choice offers,
// else the default.
constexpr unsigned kDefaultRefreshMs = 700;
unsigned refreshPeriod(const std::wstring& setting, const std::vector<std::wstring>& offered);

// One row of the consoles bound to a loudspeaker, for its zone address `number`-th in order.
struct LinkedConsole {
    std::string address;
    std::wstring name;
    bool onlineAndResponding = false;
};
struct LinkedConsoleRow {
    std::wstring text;
    // A console that is registered and answers: the row is green, else grey.
    bool live = false;
};
// `console` is null when no registered console has the zone's address; `zoneAddress` is then the
// address built from the zone. `broken`: the registry's search reports the zone broken for the
// loudspeaker; `lost`: the loudspeaker reports the zone switched off.
LinkedConsoleRow linkedConsoleRow(int number, const std::string& zoneAddress, const LinkedConsole* console,
                                  bool broken, bool lost, bool debugMode);

// The volume slider's position and tooltip; an unknown volume leaves the slider where it is.
bool volumeKnown(std::int32_t volume);
std::wstring volumeTip(const std::wstring& name, std::int32_t volume);

}  // namespace frm::fill
