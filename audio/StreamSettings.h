#pragma once
// Where the two multicast streams go, read from the settings: the group, the base port plus the
// stream's offset, the time-to-live, the interface of `net.interfaceIp` and the bit rate.

#include <cstdint>
#include <string>

#include "audio/StreamTarget.h"
#include "foundation/SettingKeys.h"

namespace audio {

// The common stream goes to the base port plus one, the priority stream to the base port plus two.
constexpr int kCommonStreamOffset = 1;
constexpr int kPriorityStreamOffset = 2;

StreamTarget streamTargetFromSettings(int portOffset, const setting::Int& bitrate);

// The name of the interface ("eth0", "lo") that has the IPv4 address; empty when none has it.
std::string interfaceNameOf(const std::string& ip);

}  // namespace audio
