#pragma once
// A microphone console's last status packet as the console keeps it: every field after its
// range check, and the statuses derived from them that the window shows; with the texts of the
// enumerated fields.

#include <cstdint>

#include "devices/FieldText.h"

namespace device {

struct TribelState {
    // The derived fields below have been computed.
    bool derived = false;
    std::uint32_t priority = 0;
    bool highPriority = false;
    // How many of the two power and two ethernet inputs report themselves present.
    std::uint32_t inputsPresent = 0;
    bool singleInput = false;
    std::uint32_t power1State = 0;
    std::uint32_t power1Status = 0;
    std::uint32_t power1Level = 0;
    std::uint32_t power2State = 0;
    std::uint32_t power2Status = 0;
    std::uint32_t power2Level = 0;
    std::uint32_t ethernet1State = 0;
    std::uint32_t ethernet1Status = 0;
    std::uint32_t ethernet2State = 0;
    std::uint32_t ethernet2Status = 0;
    std::uint32_t microphone = 0;
    std::uint32_t playbackState = 0;
    std::uint32_t playback = 0;
    std::uint32_t access = 0;
    std::uint32_t caseState = 0;
    std::uint32_t boundZones = 0;
    std::uint32_t connectedZones = 0;
    std::uint32_t activatedZones = 0;
    std::uint32_t neridaLines = 0;
    std::uint32_t ain = 0;
    bool allInOrder = false;
    bool power1On = false;
    bool power2On = false;
    bool inputsInOrder = false;
    bool ethernet1Link = false;
    bool ethernet2Link = false;
    bool zonesMatch = false;
    bool neridaLine1InOrder = false;
    bool neridaLine2InOrder = false;
    bool ainInOrder = false;
};

enum class TribelPowerStatus : std::uint32_t { missing, notUsed, ok, outside, over };
enum class TribelEthernetStatus : std::uint32_t {
    lineBreak,
    connected,
    connectedPoe,
    connectedNoPoe,
    onlyPoe,
    over
};
enum class TribelMicrophone : std::uint32_t { lineBreak, ok, shortCircuit, over };
enum class TribelAin : std::uint32_t { lineBreak, shortCircuit, on, off, skip, over };
enum class TribelAccess : std::uint32_t { free, denied, allowed, over };
enum class TribelCase : std::uint32_t { open, closed, over };
enum class TribelPlayback : std::uint32_t { none, gong, alarm, scenario, analogInput1, over };

// A value beyond its enumeration is an internal fault (exception::ServerError): the packet's
// range checks never store one.
FieldText toText(TribelPowerStatus value);
FieldText toText(TribelEthernetStatus value);
FieldText toText(TribelMicrophone value);
FieldText toText(TribelAin value);
FieldText toText(TribelAccess value);
FieldText toText(TribelCase value);
FieldText toText(TribelPlayback value);

// What the console plays, by the lowest of the playback state's bits 1 to 5.
TribelPlayback playbackOf(std::uint32_t playbackState);

// Computes the derived fields from the packet's fields and sets `derived`.
void deriveTribelState(TribelState& state);

}  // namespace device
