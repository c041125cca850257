#pragma once
// Device types: a bit set naming a device's class (loudspeaker or microphone console), its
// group and its model, with the type texts of the device list, the status packets and the window.

#include <cstdint>
#include <string>

namespace device {

using DeviceType = std::uint64_t;

namespace types {

constexpr DeviceType unknown = 0;
constexpr DeviceType vokarN = 0x100200;
constexpr DeviceType vokarS = 0x100400;
constexpr DeviceType vokarPoE = 0x100800;
constexpr DeviceType vokarAFirstGeneration = 0x300001;
constexpr DeviceType vokarALaterGeneration = 0x300002;
constexpr DeviceType vokarB = 0x500004;
constexpr DeviceType vokarBPSS = 0x500010;
constexpr DeviceType vokarBLC = 0x500020;
constexpr DeviceType vokarB1 = 0x500040;
constexpr DeviceType vokarB2 = 0x500080;
constexpr DeviceType vokarB2PSS = 0x500100;
constexpr DeviceType vokarM = 0x501000;
constexpr DeviceType tribelT = 0x804000;
constexpr DeviceType tribelTV2 = 0x808000;
// A loudspeaker or a console whose model is not known.
constexpr DeviceType vokarFamily = 0x1100000;
constexpr DeviceType tribelFamily = 0x2800000;

// Class and group bits, used as kind masks.
constexpr DeviceType loudspeaker = 0x100000;
constexpr DeviceType vokarAGroup = 0x200000;
constexpr DeviceType vokarBGroup = 0x400000;
constexpr DeviceType console = 0x800000;

}  // namespace types

// A type is of the kind of a mask when it holds every bit of the mask.
constexpr bool isOfKind(DeviceType type, DeviceType mask) {
    return (type & mask) == mask;
}

// "Vokar-B1", "Tribel", "Unknown" for 0; "Unsupported" (and a warning) for a value not defined.
std::string toText(const DeviceType& type);

// The type named by a type text or a version text, 0 when none. Where the model name leaves the
// generation open, the major version (" 1.", " 2.", " 3.") decides.
DeviceType fromText(const std::string& text);

}  // namespace device
