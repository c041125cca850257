#include "devices/StatePacketSteps.h"

#include <cstdint>
#include <memory>

#include "devicelink/DeviceBase.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

constexpr std::uint32_t respondingCheckDelayMs = 200;

}  // namespace

bool followSender(DeviceBase& device, const net::IpAndPort& sender, const char* place) {
    const net::IpAndPort current = device.getAddress();
    if (current.getAddress() == sender.getAddress() && current.getPort() == sender.getPort()) return false;
    debug::warnIfFalse(sender.isValid(), place);
    debug::Place(place).mark(L"Device %1% state: Device IP Address = %2%",
                             device.getHardwareAddress().toCharArray(), sender.getWideText());
    device.setAddress(sender);
    return true;
}

bool announceConnection(DeviceBase& device, const net::IpAndPort& sender, const std::string& versionText,
                        const char* place) {
    if (device.stateReceived.load()) return false;
    debug::Place(place).info(L"Устройство подключено: '%1%' (id=%2%, hw=%3%, ip=%4%, version='%5%')",
                             device.getDisplayName(), device.getId(),
                             device.getHardwareAddress().toCharArray(), sender.getWideText(), versionText);
    device.responding.store(false);
    return true;
}

void stampStatePacket(DeviceBase& device, bool firstPacket) {
    const std::int64_t time = DeviceBase::now();
    device.lastStateTime.store(time);
    device.lastPacketTime.store(time);
    device.stateReceived.store(true);
    // The first packet's caller has told the window already.
    const DeviceBase::ShownState told = device.tellShownState(firstPacket);
    // Heard again after it was shown otherwise than not answering (offline after an exchange it
    // left unanswered): it is asked at once whether it answers, rather than at the next check of a
    // device that does not answer.
    const bool heardAgain =
        !firstPacket && !device.responding.load() && told != DeviceBase::ShownState::notResponding;
    if (firstPacket || heardAgain) {
        const std::shared_ptr<DeviceBase> self = device.getThisBasePtr();
        base::ThreadDispatcher::add(L"check responding", respondingCheckDelayMs, [self, heardAgain] {
            // An answer meanwhile said enough.
            if (heardAgain && self->responding.load()) return;
            self->checkResponding(heardAgain);
        });
    }
}

}  // namespace device
