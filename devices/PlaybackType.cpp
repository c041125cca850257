#include "devices/PlaybackType.h"

#include <map>

namespace device::playback {
namespace {

const std::map<PlaybackType, std::wstring>& names() {
    static const std::map<PlaybackType, std::wstring> table = {
        {none, L"none"},
        {metaInternal, L"meta_internal"},
        {metaStoppable, L"meta_stoppable"},
        {metaExternal, L"meta_external"},
        {metaAlarm, L"meta_alarm"},
        {metaOver, L"meta_over"},
        {metaError, L"meta_error"},
        {metaServer, L"meta_server"},
        {radio, L"radio"},
        {playlist, L"playlist"},
        {ad, L"ad"},
        {serviceMessage, L"service_message"},
        {record, L"record"},
        {alarmMessage, L"alarm_message"},
        {gong, L"gong"},
        {metaRedirection, L"meta_redirection"},
        {externalMedia, L"external_media"},
        {microphone, L"microphone"},
        {alarm, L"alarm"},
        {voiceLowPriority, L"voice_low_priority"},
        {voiceHighPriority, L"voice_high_priority"},
        {voiceHighRepeating, L"voice_high_repeating"},
        {metaVoiceTribel, L"meta_voice_tribel"},
        {voiceZoneAin, L"voice_zone_ain"},
        {voiceZoneFire, L"voice_zone_fire"},
        {voiceZoneNote, L"voice_zone_note"},
        {noUsed1, L"no_used_1"},
        {metaMemory, L"meta_memory"},
        {fragment, L"fragment"},
        {scenario, L"scenario"},
        {noUsed2, L"no_used_2"},
        {scenarioTest, L"scenario_test"},
        {scenarioServer, L"scenario_server"},
        {scenarioNerida, L"scenario_nerida"},
        {scenarioAin, L"scenario_ain"},
        {scenarioAin1, L"scenario_ain1"},
        {scenarioAin2, L"scenario_ain2"},
        {scenarioTribel, L"scenario_tribel"},
        {noUsed3, L"no_used_3"},
        {metaGochs, L"meta_gochs"},
        {analogInput1, L"analog_input1"},
        {analogInput2, L"analog_input2"},
        {sine, L"sine"},
        {ainScenarioBroken, L"ain_scenario_broken"},
        {scenarioMisstate, L"scenario_misstate"},
    };
    return table;
}

}  // namespace

const std::wstring& nameOf(PlaybackType type) {
    const auto& table = names();
    const auto found = table.find(type);
    return found != table.end() ? found->second : table.at(metaOver);
}

}  // namespace device::playback
