#include "devices/ConfigExchange.h"

#include <cstdint>

#include "devicelink/DeviceBase.h"
#include "foundation/Exceptions.h"
#include "foundation/NetworkAddress.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"

namespace device {

bool readAddressToken(const std::string& text, std::string& address) {
    std::string bare;
    if (!net::splitIpAndPort(text, &bare)) return false;
    address = bare;
    return true;
}

bool namesDhcp(const std::string& text) {
    return base::scan::containsIgnoringCase(text, "DHCP");
}

bool isDottedAddress(const std::string& text, bool zeroAllowed) {
    std::string bare;
    std::uint32_t value = 0;
    if (!net::splitIpAndPort(text, &bare) || bare != text || !net::parseIpAndPort(text, &value)) return false;
    return zeroAllowed || value != 0;
}

void require(bool condition, const wchar_t* step) {
    if (!condition) throw exception::IncorrectFormat(step);
}

void rebootToApplySettings(DeviceBase& device, const char* place) {
    if (device.reboot()) return;
    debug::Place(place).warn(L"Устройство '%1%' не перезагрузилось после записи настроек (hw=%2%)",
                             device.getDisplayName(), device.getHardwareAddress().toCharArray());
    throw exception::DeviceReason(L"Устройство не ответило на команду перезагрузки",
                                  L"Новые настройки вступят в силу после перезагрузки устройства");
}

}  // namespace device
