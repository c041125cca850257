#include "devices/VokarState.h"

#include <string>

namespace device {
namespace {

// Every table ends with the entry that any larger value shows.
template <std::size_t N>
FieldText lookUp(const wchar_t* const (&texts)[N], std::uint32_t value) {
    const wchar_t* text = texts[value < N ? value : N - 1];
    return {text, std::char_traits<wchar_t>::length(text)};
}

template <class Enum, std::size_t N>
FieldText lookUp(const wchar_t* const (&texts)[N], Enum value) {
    return lookUp(texts, static_cast<std::uint32_t>(value));
}

const wchar_t* const batteryStates[] = {L"unknown", L"ok",    L"charge", L"discharge",
                                        L"missing", L"error", L"over"};
const wchar_t* const lineStates[] = {L"unknown", L"ok", L"break", L"shortCircuit", L"error", L"over"};
const wchar_t* const caseStates[] = {L"close", L"open", L"unknown", L"over"};
const wchar_t* const analogInputStates[] = {L"break", L"shortCircuit", L"on", L"off", L"over"};
const wchar_t* const ledPanels[] = {L"detached", L"attached", L"over"};
const wchar_t* const audioMemoryStates[] = {L"incorrect", L"ok", L"over"};
const wchar_t* const acPowerSupplies[] = {L"off", L"on", L"over"};
const wchar_t* const soundPressures[] = {L"buffering", L"waiting", L"adcInput", L"mute", L"play", L"over"};
const wchar_t* const amplifierOutputs[] = {L"unknown", L"ok",        L"pssNotReady",    L"noU170",
                                           L"noU13",   L"midEquals", L"drvOverCurrent", L"over"};
const wchar_t* const feedbacks[] = {L"notNeeded", L"required", L"over"};
const wchar_t* const selfTests[] = {L"no", L"started", L"over"};
const wchar_t* const apiLevels[] = {L"notSpecified", L"1", L"unsupported"};
const wchar_t* const playbackStatuses[] = {L"stream",
                                           L"voice_stream_low_priority",
                                           L"voice_stream_zone_notice",
                                           L"voice_fragment",
                                           L"voice_stream_high_priority",
                                           L"voice_stream_repeating",
                                           L"voice_stream_zone_analog_input",
                                           L"voice_stream_zone_fire",
                                           L"delayed_voice_alert",
                                           L"voice_alert",
                                           L"analog_input1",
                                           L"analog_input2",
                                           L"sine",
                                           L"over"};

bool bit(std::uint32_t value, unsigned n) {
    return (value >> n) & 1u;
}

}  // namespace

FieldText toText(BatteryState value) {
    return lookUp(batteryStates, value);
}
FieldText toText(LineState value) {
    return lookUp(lineStates, value);
}
FieldText toText(CaseState value) {
    return lookUp(caseStates, value);
}
FieldText toText(AnalogInputState value) {
    return lookUp(analogInputStates, value);
}
FieldText toText(LedPanel value) {
    return lookUp(ledPanels, value);
}
FieldText toText(AudioMemoryState value) {
    return lookUp(audioMemoryStates, value);
}
FieldText toText(AcPowerSupply value) {
    return lookUp(acPowerSupplies, value);
}
FieldText toText(SoundPressure value) {
    return lookUp(soundPressures, value);
}
FieldText toText(AmplifierOutput value) {
    return lookUp(amplifierOutputs, value);
}
FieldText toText(Feedback value) {
    return lookUp(feedbacks, value);
}
FieldText toText(SelfTest value) {
    return lookUp(selfTests, value);
}
FieldText toText(ApiLevel value) {
    return lookUp(apiLevels, value);
}
FieldText toText(PlaybackStatus value) {
    return lookUp(playbackStatuses, value);
}

VokarHealth evaluateHealth(const VokarState& state, const HealthContext& context) {
    const FeatureFlags& features = context.features;
    VokarHealth health;
    health.amplifierGood = state.amplifierOutput == 1;
    // Uses the sound activity of the previous record: this packet's is judged last.
    health.amplifierUsable = !playback::contains(context.playbackType, playback::metaError) &&
                             (!context.previousSoundActive || health.amplifierGood);
    health.alarmContentPlaying = state.playbackStatus >= 4 && state.playbackStatus <= 11;
    health.batteryGood = state.batteryState == 1 || state.batteryState == 2 ||
                         (state.batteryState == 3 && state.batteryLevel >= 40);
    health.mainsGood =
        context.version >= vokarBx_1_01_80 ? state.acPowerSupply == 1 : state.batteryState != 3;
    health.powerGood = health.batteryGood && health.mainsGood;
    health.line1Good = !hasFeature(features, line1Monitored) || state.line1State == 1;
    health.line2Good = !hasFeature(features, line2Monitored) || state.line2State == 1;
    health.caseClosed = state.caseState == 0;

    if (!bit(state.nerida, 0)) {
        health.neridaLine1Good = health.neridaLine2Good = true;
    } else if (!bit(state.nerida, 1)) {
        health.neridaLine1Good = health.neridaLine2Good = bit(state.nerida, 2) || bit(state.nerida, 3);
    } else {
        health.neridaLine1Good = bit(state.nerida, 2);
        health.neridaLine2Good = bit(state.nerida, 3);
    }

    health.ain1Good = true;
    const std::uint32_t ain2State = (state.ain >> 2) & 3u;
    health.ain2Good = !bit(state.ain, 1) || ain2State == 2 || ain2State == 3;

    if (context.version < vokarBx_1_01_80 || !hasFeature(features, ethPortsMonitored)) {
        health.ethPort1Good = health.ethPort2Good = true;
    } else {
        health.ethPort1Good = bit(state.eth, 0) || bit(state.eth, 1);
        health.ethPort2Good = bit(state.eth, 0) || bit(state.eth, 2);
    }

    health.fireZoneBound = bit(state.zone, 0);
    health.ledPanelGood = !hasFeature(features, ledPanelMonitored) || state.ledPanel == 1;
    health.apiCompatible = state.apiCompatibility <= 1;
    health.audioMemoryGood = !hasFeature(features, audioMemoryPresent) ||
                             (state.audioMemoryState == 1 && state.scenarioCount != 0);

    if (isOfKind(context.type, types::vokarS)) {
        // A Vokar-S has one analog input, reported in the place of the second.
        health.ain1Good = health.ain2Good;
        health.ain2Good = true;
    }
    if (isOfKind(context.type, types::vokarPoE)) {
        // Powered over its network ports: no battery, mains, lines or analog inputs.
        health.batteryGood = health.mainsGood = true;
        health.line1Good = health.line2Good = true;
        health.neridaLine1Good = health.neridaLine2Good = true;
        health.ain1Good = health.ain2Good = true;
        health.powerGood = health.ethPort1Good || health.ethPort2Good;
    }

    health.allGood = health.amplifierUsable && health.batteryGood && health.mainsGood && health.line1Good &&
                     health.line2Good && health.caseClosed && health.neridaLine1Good &&
                     health.neridaLine2Good && health.ain1Good && health.ain2Good && health.ethPort1Good &&
                     health.ethPort2Good && health.fireZoneBound && health.amplifierGood &&
                     health.ledPanelGood && health.audioMemoryGood;
    health.soundActive = state.soundPressure != 0 && state.soundPressure != 3 && health.amplifierGood;
    return health;
}

}  // namespace device
