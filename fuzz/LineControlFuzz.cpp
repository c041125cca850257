// The replies of a loudspeaker's line-control module: its version and address, its state with
// the list of end devices, its debug text; every query of the model over replies of the input.

#include <deque>

#include "FuzzSupport.h"
#include "devices/LineControl.h"
#include "foundation/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> parts = fuzz::pieces(fuzz::text(data, size), '\x1F', 12);
    std::deque<std::string> replies(parts.begin(), parts.end());
    device::tip_device::LineControl module([&](const std::string&, std::string& reply) {
        if (replies.empty()) return;
        reply = replies.front();
        replies.pop_front();
    });
    try {
        module.refresh(true);
    } catch (const exception::UnexpectedResponseOfDevice&) {
        // A version that does not read.
    }
    for (const auto& device : module.getLineState()) {
        fuzz::require(device.tag.size() <= 4, "an end device's tag is bounded");
        module.getTipDeviceName(device.number);
    }
    module.isPowerSaveMode();
    module.getInitializationProgress();
    module.setPowerSaveMode(1);
    module.add(12);
    module.remove(12);
    module.setTipDeviceMasks(size & 0xFFFFF, size >> 4 & 0xFFFFF);
    module.getLineState();
    return 0;
}
