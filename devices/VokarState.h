#pragma once
// A loudspeaker's last status packet as the device keeps it: every field after its range
// check, the playback it was deduced to play and the health flags that the window shows;
// with the texts of the enumerated fields.

#include <cstddef>
#include <cstdint>

#include "devicelink/DeviceType.h"
#include "devices/FieldText.h"
#include "devices/PlaybackType.h"
#include "devices/VokarVersion.h"

namespace device {

// Judgements over one status packet, each true when the part is fine (or not monitored).
struct VokarHealth {
    bool amplifierUsable = false;
    bool alarmContentPlaying = false;
    bool soundActive = false;
    bool batteryGood = false;
    bool mainsGood = false;
    bool powerGood = false;
    bool line1Good = false;
    bool line2Good = false;
    bool caseClosed = false;
    bool neridaLine1Good = false;
    bool neridaLine2Good = false;
    bool ain1Good = false;
    bool ain2Good = false;
    bool ethPort1Good = false;
    bool ethPort2Good = false;
    bool fireZoneBound = false;
    bool amplifierGood = false;
    bool ledPanelGood = false;
    bool apiCompatible = false;
    bool audioMemoryGood = false;
    bool allGood = false;
};

// Defaults are those of a packet that carried only its first fields.
struct VokarState {
    std::uint32_t batteryLevel = 0;
    // The level last written to the log at MARK; smaller steps are logged quietly.
    std::uint32_t reportedBatteryLevel = 0;
    std::uint32_t batteryState = 0;
    std::uint32_t line1State = 0;
    std::uint32_t tipsAdded = 0;
    std::uint32_t line2State = 0;
    std::uint32_t tipsActive = 0;
    std::uint32_t caseState = 2;
    std::uint32_t playbackState = 0;

    // The device's playback type when the playback was last deduced.
    PlaybackType playbackType = playback::none;

    std::uint32_t soundPressure = 0;
    std::uint32_t acPowerSupply = 0;
    std::uint32_t nerida = 0;
    std::uint32_t ain = 12;
    // Both inputs off, as the raw value above says (AnalogInputState::off).
    std::uint32_t ain1State = 3;
    std::uint32_t ain2State = 3;
    std::uint32_t eth = 2;
    std::uint32_t zone = 3;
    std::uint32_t activeZoneAddress = 0;
    std::uint32_t activeAlarmOrder = 0;
    std::uint32_t playbackSource = 0;
    std::uint32_t preferenceCrc = 0;
    std::uint32_t channel = 0;
    std::uint32_t amplifierOutput = 1;
    std::uint32_t ledPanel = 1;
    std::uint32_t feedback = 0;
    std::uint32_t inputStreams = 0;
    std::uint32_t selfTest = 0;
    std::uint32_t audioMemoryState = 1;
    std::uint32_t scenarioCount = 0;
    std::uint32_t apiLevel = 0;
    std::uint32_t apiCompatibility = 0;

    // The deduced playback status, 0 to 13 (PlaybackStatus).
    std::uint32_t playbackStatus = 0;

    VokarHealth health;
};

// What the health flags read besides the record.
struct HealthContext {
    VokarVersion version = vokarUnknown;
    DeviceType type = types::unknown;
    FeatureFlags features{};
    PlaybackType playbackType = playback::none;
    // The sound-active flag of the record stored before this packet.
    bool previousSoundActive = false;
};

VokarHealth evaluateHealth(const VokarState& state, const HealthContext& context);

// Field values whose texts come from the tables below; each wraps a field's raw number.
enum class BatteryState : std::uint32_t { unknown, ok, charge, discharge, missing, error };
enum class LineState : std::uint32_t { unknown, ok, lineBreak, shortCircuit, error };
enum class CaseState : std::uint32_t { closed, open, unknown };
enum class AnalogInputState : std::uint32_t { lineBreak, shortCircuit, on, off };
enum class LedPanel : std::uint32_t { detached, attached };
enum class AudioMemoryState : std::uint32_t { incorrect, ok };
enum class AcPowerSupply : std::uint32_t { off, on };
enum class SoundPressure : std::uint32_t { buffering, waiting, adcInput, mute, play };
enum class AmplifierOutput : std::uint32_t {
    unknown,
    ok,
    pssNotReady,
    noU170,
    noU13,
    midEquals,
    drvOverCurrent
};
enum class Feedback : std::uint32_t { notNeeded, required };
enum class SelfTest : std::uint32_t { no, started };
enum class ApiLevel : std::uint32_t { notSpecified, first };
enum class PlaybackStatus : std::uint32_t {
    stream,
    voiceStreamLowPriority,
    voiceStreamZoneNotice,
    voiceFragment,
    voiceStreamHighPriority,
    voiceStreamRepeating,
    voiceStreamZoneAnalogInput,
    voiceStreamZoneFire,
    delayedVoiceAlert,
    voiceAlert,
    analogInput1,
    analogInput2,
    sine,
    over,
};

// A value beyond a table gives its last entry ("over", or "unsupported" for the API levels).
FieldText toText(BatteryState value);
FieldText toText(LineState value);
FieldText toText(CaseState value);
FieldText toText(AnalogInputState value);
FieldText toText(LedPanel value);
FieldText toText(AudioMemoryState value);
FieldText toText(AcPowerSupply value);
FieldText toText(SoundPressure value);
FieldText toText(AmplifierOutput value);
FieldText toText(Feedback value);
FieldText toText(SelfTest value);
FieldText toText(ApiLevel value);
FieldText toText(PlaybackStatus value);

}  // namespace device
