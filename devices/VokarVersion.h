#pragma once
// The firmware generation of a loudspeaker. Every difference in its commands, replies,
// settings and audio-memory layout is decided on this one number, read from the version
// text of its status packets.

#include <cstddef>
#include <cstdint>
#include <string>

#include "devicelink/Version.h"
#include "devices/FeatureFlags.h"

namespace device {

// Values 0 to 23 in the order the firmware appeared; 0 is not known.
enum VokarVersion : std::int32_t {
    vokarUnknown = 0,
    vokarA_1_01_69 = 1,
    vokarA_1_01_70 = 2,
    vokarA_1_01_71 = 3,
    vokarA_1_01_71_2 = 4,
    vokarA_1_01_72 = 5,
    vokarA_2_00_71 = 6,
    vokarA_2_00_71_late = 7,
    vokarA_2_01_72 = 8,
    vokarA_3_00_01 = 9,
    vokarB_1_00_56 = 10,
    vokarB_1_00_59 = 11,
    vokarB_1_01_63 = 12,
    vokarB_1_01_69 = 13,
    vokarB_1_02_79 = 14,
    vokarBx_1_01_80 = 15,
    vokarV3_A110 = 16,
    vokarV3_A111 = 17,
    vokarV3_A113 = 18,
    vokarV3_A121 = 19,
    vokarV3_A125 = 20,
    vokarV3_A128 = 21,
    vokarV3_A131 = 22,
    vokarV3_Higher = 23,
};

constexpr std::int32_t vokarVersionCount = 24;

// The text of a generation ("V3_A110"). A value outside 0..23 is an internal fault
// (exception::ServerError).
std::string get(VokarVersion version);

// Selects the second form of get: the generation number the configuration reports.
struct GenerationNumber {};
inline constexpr GenerationNumber generationNumber{};
// 0 for an unknown generation, 2 for the first, 10 for the second and 21 for every later one.
std::uint32_t get(VokarVersion version, GenerationNumber);

// The generation that a loudspeaker's version record names: by its type bits and, within a
// family, by its version numbers. 0 for a device that is no loudspeaker.
VokarVersion toVokarVersion(const Version& version);

// The capability flags of a loudspeaker follow its type and generation. The health evaluation
// reads the five named here; the others belong to the window and the later commands.
enum FeatureFlag : std::size_t {
    line1Monitored = 4,
    line2Monitored = 5,
    ethPortsMonitored = 18,
    ledPanelMonitored = 21,
    audioMemoryPresent = 25,
};
FeatureFlags vokarFeatures(DeviceType type, VokarVersion version);

}  // namespace device
