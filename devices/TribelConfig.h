#pragma once
// A microphone console's settings as one record: read from the tokens of its "get state"
// reply, checked before a write, and written back key by key by the key table below.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "devicelink/CommonConfig.h"

namespace device {

struct TribelConfig : CommonConfig {
    std::uint32_t token0Value = 0;
    bool gong = false;
    // The gong's position in the console's audio memory, as the console names it.
    std::uint16_t gongOrder = 0;
    // The gong fragment's identifier, as the operator names it; 0xFFFF for none.
    std::uint16_t gongId = 0xFFFF;
    bool beeper = false;
    bool faultAlarm = false;
    bool ledScBlink = false;
    bool passkey = false;
    bool singlePower = false;
    bool gochsArm = false;
    // 0 to 255; from 128 on the console is a fire console.
    std::uint32_t priority = 0;
    bool fireConsole = false;
    std::uint32_t priorityLevel = 0;
    bool priorityGOChS = false;
    std::uint32_t powerIn1 = 0;
    std::uint32_t powerIn2 = 0;
    bool holdBroadcast = false;
};

// The first version id whose firmware has the hold switch.
constexpr std::uint32_t holdBroadcastVersionId = 2;

// The tokens of a "get state" reply of a console of `versionId` padded to the newest layout;
// false when the reply is too short for it.
bool padConsoleStateTokens(std::vector<std::string>& tokens, std::uint32_t versionId);

// The padded tokens into the record (all but `gongId`); false when a token does not read or
// lies outside its range.
bool readConsoleStateTokens(const std::vector<std::string>& tokens, TribelConfig& out);

// The checks of a record before it is written, in their order; exception::IncorrectFormat with
// the title of the failed one.
void checkConsoleConfig(const TribelConfig& config);

// The refusals that follow from the record alone, in their order: the power inputs, then the
// fire console's conditions; exception::UserResponse with the refusal's code. Gives the
// priority value that the console is to be sent.
std::uint32_t consolePriorityToSend(const TribelConfig& config);

// One setting of the key table, sent as "set <key> <value>".
using ConsoleSettingValue = std::variant<std::string, bool, std::uint8_t, std::uint16_t, std::uint32_t>;

struct ConsoleConfigKey {
    enum class Restart { no, yes, unlessDhcp };

    const char* key;
    Restart restart;
    ConsoleSettingValue (*value)(const TribelConfig&);

    bool restarts(const TribelConfig& config) const;
};

// Every key in the order in which a write sends them. The gong order and the priority are not
// plain fields: the writer puts the values to send into the record before it compares.
// "holdBroadcast" is known from version id 2 on.
const std::vector<ConsoleConfigKey>& consoleConfigKeys();

}  // namespace device
