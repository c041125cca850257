#pragma once
// What a loudspeaker is believed to play: a 64-bit set whose high word holds class bits
// (internal, stoppable, external, alarm, error) and whose low word names the source.

#include <cstdint>
#include <string>

namespace device {

using PlaybackType = std::uint64_t;

namespace playback {

constexpr PlaybackType make(std::uint32_t high, std::uint32_t low) {
    return (PlaybackType{high} << 32) | low;
}

constexpr PlaybackType none = 0;
constexpr PlaybackType metaInternal = make(0x01000000, 0);
constexpr PlaybackType metaStoppable = make(0x02000000, 0);
constexpr PlaybackType metaExternal = make(0x06000000, 0);
constexpr PlaybackType metaAlarm = make(0x08000000, 0);
constexpr PlaybackType metaOver = make(0x11000000, 0);
constexpr PlaybackType metaError = make(0x20000000, 0);
constexpr PlaybackType metaServer = make(0x06000000, 0x00000001);
constexpr PlaybackType radio = make(0x06000000, 0x00000003);
constexpr PlaybackType playlist = make(0x06000000, 0x00000005);
constexpr PlaybackType ad = make(0x06000000, 0x00000009);
constexpr PlaybackType serviceMessage = make(0x06000000, 0x00000011);
constexpr PlaybackType record = make(0x06000000, 0x00000021);
constexpr PlaybackType alarmMessage = make(0x0E000000, 0x00000041);
constexpr PlaybackType gong = make(0x06000000, 0x00000081);
constexpr PlaybackType metaRedirection = make(0x06000000, 0x00000100);
constexpr PlaybackType externalMedia = make(0x06000000, 0x00000300);
constexpr PlaybackType microphone = make(0x06000000, 0x00000500);
constexpr PlaybackType alarm = make(0x0E000000, 0x00000900);
constexpr PlaybackType voiceLowPriority = make(0x06000000, 0x00001500);
constexpr PlaybackType voiceHighPriority = make(0x0E000000, 0x00002900);
constexpr PlaybackType voiceHighRepeating = make(0x09000000, 0x00004000);
constexpr PlaybackType metaVoiceTribel = make(0x01000000, 0x00008000);
constexpr PlaybackType voiceZoneAin = make(0x09000000, 0x00018000);
constexpr PlaybackType voiceZoneFire = make(0x09000000, 0x00028000);
constexpr PlaybackType voiceZoneNote = make(0x01000000, 0x00048000);
constexpr PlaybackType noUsed1 = make(0x00000000, 0x00080000);
constexpr PlaybackType metaMemory = make(0x01000000, 0x00100000);
constexpr PlaybackType fragment = make(0x03000000, 0x00300000);
constexpr PlaybackType scenario = make(0x09000000, 0x00500000);
constexpr PlaybackType noUsed2 = make(0x00000000, 0x00800000);
constexpr PlaybackType scenarioTest = make(0x0B000000, 0x01500000);
constexpr PlaybackType scenarioServer = make(0x0B000000, 0x02500000);
constexpr PlaybackType scenarioNerida = make(0x09000000, 0x04500000);
constexpr PlaybackType scenarioAin = make(0x09000000, 0x08500000);
constexpr PlaybackType scenarioAin1 = make(0x09000000, 0x18500000);
constexpr PlaybackType scenarioAin2 = make(0x09000000, 0x28500000);
constexpr PlaybackType scenarioTribel = make(0x09000000, 0x40508000);
constexpr PlaybackType noUsed3 = make(0x00000000, 0x80000000);
constexpr PlaybackType metaGochs = make(0x09000001, 0);
constexpr PlaybackType analogInput1 = make(0x09000003, 0);
constexpr PlaybackType analogInput2 = make(0x09000005, 0);
constexpr PlaybackType sine = make(0x01000008, 0);
constexpr PlaybackType ainScenarioBroken = make(0x20001000, 0);
constexpr PlaybackType scenarioMisstate = make(0x20002000, 0);

// Whether `type` holds every bit of `mask`.
constexpr bool contains(PlaybackType type, PlaybackType mask) {
    return (type & mask) == mask;
}

// The name of a value of the program-wide name table ("voice_low_priority"); any other
// value is named as "meta_over".
std::wstring nameOf(PlaybackType type);

}  // namespace playback
}  // namespace device
