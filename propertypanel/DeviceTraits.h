#pragma once
// What the property panel needs to know of a device to choose its pages and fill them: its kind
// and the capability flags that its device class sets from its type and firmware.

#include <cstdint>

namespace device {
class DeviceBase;
}

namespace frm {

struct DeviceTraits {
    bool loudspeaker = false;
    bool console = false;
    // Cleared only by a loudspeaker whose interface is newer than the program knows.
    bool compatible = true;
    bool neridaInterface = false;
    bool lineControl = false;
    bool consoleBindings = false;
    bool deviceTest = false;
    bool lanRedundancy = false;
    bool lineRedundancy = false;
    // A loudspeaker's analog inputs can be passed on to other modules, and their modes set.
    bool passInput1 = false;
    bool passInput2 = false;
    bool inputModes = false;
    // A loudspeaker's firmware generation, a console's version id.
    std::int32_t versionId = 0;
};

// The capability flags behind the traits, numbered as the device classes number them.
enum CapabilityFlag : unsigned {
    neridaInterfaceFlag = 7,
    lineRedundancyFlag = 8,
    lineControlFlag = 9,
    passInput1Flag = 11,
    passInput2Flag = 12,
    consoleBindingsFlag = 13,
    inputModesFlag = 17,
    lanRedundancyFlag = 18,
    deviceTestFlag = 24,
};

DeviceTraits traitsOf(const device::DeviceBase& device);

}  // namespace frm
