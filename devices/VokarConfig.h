#pragma once
// A loudspeaker's settings as one record: read from the replies of its firmware generation,
// checked before a write and written back key by key by the key table below.

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "devicelink/CommonConfig.h"
#include "devices/ScenarioCatalog.h"
#include "devices/VokarVersion.h"

namespace device {

struct VokarConfig : CommonConfig {
    std::uint16_t micPort = 0;
    std::string audioSrvIp;
    std::string currentAudioSrvIp;
    bool lineDoubleOff = false;
    bool lineTest = false;
    std::string stateText;
    std::uint32_t ratioFirst = 0;
    std::uint32_t ratioSecond = 0;
    std::uint32_t stateMode = 0;
    bool multicastListen = false;
    bool multicastAin0 = false;
    bool multicastAin1 = false;
    std::uint16_t priVoiceAlert = 0;
    std::uint16_t priAin0 = 0;
    std::uint16_t priAin1 = 0;
    std::uint16_t priStreamMCast = 0;
    std::uint16_t priZoneInput = 0;
    std::uint16_t priStream = 0;
    // An input's scenario as the loudspeaker names it (its order in the audio memory) and as
    // the operator sees it (its id).
    std::int16_t ain0ScenarioOrder = -1;
    std::int16_t ain0ScenarioId = -1;
    std::int16_t ain1ScenarioOrder = -1;
    std::int16_t ain1ScenarioId = -1;
    bool ain0Arm = false;
    bool ain1Arm = false;
};

namespace ain {
// No scenario for the input.
constexpr std::int16_t none = -1;
// The loudspeaker names an order that its audio memory does not know.
constexpr std::int16_t unknownOrder = -3;
// The loudspeaker's kept id before the first read.
constexpr std::uint16_t notRead = 0xFFFE;
}  // namespace ain

// The scenario ids that the loudspeaker keeps for its two inputs between reads, so that the
// audio memory is asked only once.
struct AinScenarioIds {
    std::uint16_t first = ain::notRead;
    std::uint16_t second = ain::notRead;

    bool known() const { return first != ain::notRead && second != ain::notRead; }
};

// Why a reply could not be read into the record.
enum class ConfigReplyFault {
    none,
    tooShort,
    // An address text that does not read (of the first lines or tokens).
    address,
    // A number of the first tokens that does not read.
    number,
    // Any other line or token.
    field,
};

// The "config" and "ifconfig" replies of the first generations, line by line. On an address
// or a Nerida field that does not read, the other fields are still filled.
ConfigReplyFault readFirstGenerationConfig(const std::string& config, const std::string& ifconfig,
                                           VokarConfig& out);

// The tokens of a "get state" reply of `version` padded to the newest layout. `igmpReport` is
// the reply to "get igmpReport", which only generations 17 and 18 need. False when the reply
// is too short for its layout.
bool padStateTokens(std::vector<std::string>& tokens, VokarVersion version, const std::string& igmpReport);

// The padded tokens into the record; the first fault found.
ConfigReplyFault readStateTokens(const std::vector<std::string>& tokens, VokarConfig& out);

// Whether filling the inputs' scenario ids needs the audio memory: the ids are not kept yet and
// an input starts a scenario.
bool needsScenarioLookup(const VokarConfig& config, const AinScenarioIds& kept);

// Fills the inputs' scenario ids from their orders: from `kept` when both are known, else by
// `catalog` (which may be null: no audio memory), whose answers are then kept. An order that
// names no scenario shows as ain::unknownOrder. True when that happened.
bool resolveAinScenarioIds(VokarConfig& config, AinScenarioIds& kept, ScenarioCatalog* catalog);

// What a write of the audio memory means for the inputs' scenarios.
struct AinScenarioFollowUp {
    // An input's scenario has another order in the memory than the loudspeaker starts.
    bool changed = false;
    // An input's scenario is no longer in the memory.
    bool reset = false;
};
// Each input with a kept scenario id (`kept` in the record's order of the inputs; neither
// ain::notRead nor none) gets that id again while `catalog` still holds the scenario, else
// ain::none.
AinScenarioFollowUp followWrittenScenarios(VokarConfig& config, const AinScenarioIds& kept,
                                           ScenarioCatalog& catalog);

// A Vokar-S has a single analog input, which it keeps as its second one: reading shows it as
// the first, and writing puts it back.
void showSingleInputFirst(VokarConfig& config);
void keepSingleInputSecond(VokarConfig& config);

// The checks of a record before it is written, in their order; exception::IncorrectFormat
// with the title of the failed one.
void checkConfig(const VokarConfig& config, VokarVersion version);

// One setting of the key table, sent as "set <key> <value>".
using SettingValue =
    std::variant<std::string, bool, std::uint8_t, std::uint16_t, std::int32_t, std::uint32_t>;

enum class Restart { no, yes, unlessDhcp };

struct ConfigKey {
    const char* key;
    // The generations that know the key, both included.
    std::int32_t lowest;
    std::int32_t highest;
    Restart restart;
    // Feature flags of which one must be set; 0 for no condition.
    std::size_t flag;
    std::size_t otherFlag;
    // Sent only when an input's scenario id changed.
    bool followsScenarios;
    SettingValue (*value)(const VokarConfig&);

    bool accepts(VokarVersion version, const FeatureFlags& features) const;
    bool restarts(const VokarConfig& config) const;
};

// Every key in the order in which a write sends them. Several settings have an older and a
// newer key; generation 15 knows both names of the analog-input keys.
const std::vector<ConfigKey>& configKeys();

}  // namespace device
