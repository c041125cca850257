#include "propertypanel/ConsoleType.h"

#include "devices/TribelConfig.h"

namespace frm::console {

TypeOptions typeChanged(bool fire, const device::TribelConfig& config, std::uint32_t versionId) {
    TypeOptions options;
    options.singlePowerEnabled = !fire;
    options.faultSoundEnabled = !fire;
    options.analogInputEnabled = fire;
    if (fire) {
        options.singlePower = false;
        options.faultSound = true;
        options.holdToTalk = true;
        options.analogInput = config.gochsArm;
    } else {
        options.singlePower = config.singlePower;
        options.faultSound = config.faultAlarm;
        options.analogInput = false;
        options.holdToTalk = !config.holdBroadcast;
    }
    options.holdToTalkEnabled = versionId >= device::holdBroadcastVersionId && !fire;
    options.powerInput2Enabled = !options.singlePower;
    return options;
}

}  // namespace frm::console
