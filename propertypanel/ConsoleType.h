#pragma once
// The console options that follow the console's type: a fire console has no single power source
// and no fault sound to choose, always sounds its faults and broadcasts while the key is held,
// and only it may take the analog alarm input. Decided without the window.

#include <cstdint>

namespace device {
struct TribelConfig;
}

namespace frm::console {

struct TypeOptions {
    bool singlePower = false;
    bool singlePowerEnabled = false;
    bool faultSound = false;
    bool faultSoundEnabled = false;
    bool analogInput = false;
    bool analogInputEnabled = false;
    bool holdToTalk = false;
    bool holdToTalkEnabled = false;
    // Follows the single-power box as the type leaves it.
    bool powerInput2Enabled = false;
};

// The options after the operator chose the type: fire presets its own values, an announcement
// console gets back what the console last reported.
TypeOptions typeChanged(bool fire, const device::TribelConfig& config, std::uint32_t versionId);

}  // namespace frm::console
