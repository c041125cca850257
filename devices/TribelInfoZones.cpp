// The zones of a microphone console: read from the console once, then kept up to date by the
// bindings made here.

#include <bitset>
#include <mutex>
#include <numeric>

#include "devices/TribelInfo.h"
#include "devices/TribelReplies.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device {
namespace {

// A loader that keeps losing the race with bindings gives what it read without keeping it.
constexpr int loadAttempts = 3;

std::size_t addressCount(const ConsoleZones& zones, int except = -1) {
    std::size_t count = 0;
    for (const auto& [number, zone] : zones) {
        if (number != except) count += zone.addresses.size();
    }
    return count;
}

}  // namespace

void TribelInfo::zonesChanged(bool stillLoaded) {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    ++zoneGeneration_;
    if (!stillLoaded) zonesLoaded_ = false;
}

void TribelInfo::initZones() {
    if (!zonesLoaded_.load()) loadZones();
}

TribelInfo::Zones TribelInfo::getZones() {
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (zonesLoaded_.load()) return zones_;
    }
    return loadZones();
}

std::optional<TribelInfo::Zones> TribelInfo::getCachedZones() {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    if (!zonesLoaded_.load()) return std::nullopt;
    return zones_;
}

bool TribelInfo::isFireConsole() {
    return getConfig(false).fireConsole;
}

TribelInfo::Zones TribelInfo::loadZones() {
    const debug::Place here("device::TribelInfo::initZones");
    for (int attempt = 1;; ++attempt) {
        std::uint64_t generation = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(mutex());
            generation = zoneGeneration_;
        }
        const std::string list = transfer("zoneList all");
        Zones zones = tribel::readZoneList(list);
        if (list != "no") {
            const std::map<int, int> scenarios = tribel::readZoneScenarios(transfer("zoneScList"));
            for (auto& [number, zone] : zones) {
                const auto found = scenarios.find(number);
                zone.scenario = found == scenarios.end() ? Zone::noScenario : found->second;
            }
        }

        std::unique_lock<std::recursive_mutex> guard(mutex());
        if (generation != zoneGeneration_) {
            if (attempt < loadAttempts) continue;
            return zones;
        }
        zones_ = zones;
        zonesLoaded_ = true;
        if (zones.empty()) {
            here.debug(L"Read empty zone list");
            return zones;
        }
        if (state_.derived) {
            const std::size_t bound = std::bitset<32>(state_.boundZones).count();
            if (bound != zones.size())
                here.warn(L"Связанные зоны %1% не соответствуют списку зон из статуса %2%", bound,
                          zones.size());
        }
        guard.unlock();
        if (zoneMemorySize_.load() == 0) askZoneMemorySize();
        return zones;
    }
}

void TribelInfo::askZoneMemorySize() {
    const debug::Place here("device::TribelInfo::initZones");
    std::string reply;
    const bool answered = transfer("zoneSizeGet", &reply, false);
    const std::optional<tribel::ZoneMemory> memory = answered ? tribel::readZoneSize(reply) : std::nullopt;
    if (!memory) {
        here.warn(L"Микрофонная консоль ответила в неизвестном формате. (%1%)", reply);
        return;
    }
    zoneMemorySize_ = memory->size;
    std::size_t used = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        used = addressCount(zones_);
    }
    if (used != memory->size - memory->free)
        here.info(L"Расчётное использование памяти не равно вычитанному (%1% != %2%)", used,
                  memory->size - memory->free);
}

TribelInfo::Zone TribelInfo::findZone(int zoneNumber) {
    const Zones zones = getZones();
    const auto found = zones.find(zoneNumber);
    if (found == zones.end()) throw exception::InternalError(L"Зону микрофонной консоли не удалось найти");
    return found->second;
}

std::set<int> TribelInfo::getZonesOff() {
    return tribel::readZoneNumbers(transfer("zoneOffList"));
}

bool TribelInfo::bindZone(int zoneNumber, int virtualZone, int scenario,
                          const std::set<std::uint32_t>& addresses) {
    const debug::Place here("device::TribelInfo::bindZone");
    if (zoneNumber < 0 || zoneNumber > tribel::highestZone || virtualZone < tribel::lowestVirtualZone ||
        virtualZone > tribel::highestVirtualZone || addresses.empty() ||
        *addresses.rbegin() > tribel::highestZoneAddress) {
        here.warn(
            L"Связывание зон отменено из-за неверных входных параметров. (zoneNumber=%1%, virtualZone=%2%)",
            zoneNumber, virtualZone);
        return false;
    }
    const Config config = getConfig(false);
    const Zones zones = getZones();
    bool scenarios = scenario != Zone::noScenario;
    for (const auto& [number, zone] : zones) scenarios |= zone.scenario != Zone::noScenario;
    if (!config.fireConsole && scenarios) {
        here.error(L"Голосовые сообщения разрешены только для пожарной консоли");
        return false;
    }
    // A zone bound anew gives its entries back first.
    const std::uint32_t size = zoneMemorySize_.load();
    const std::size_t used = addressCount(zones, zoneNumber);
    if (size != 0 && size < used + addresses.size()) {
        here.error(L"Нет доступной памяти для хранения вокаров %1%(%2%)+%3%.", size, used, addresses.size());
        return false;
    }
    const std::string command = tribel::makeZoneBindCommand(zoneNumber, virtualZone, addresses);
    if (command.size() > tribel::longestBindCommand) {
        here.error(L"Не удалось сформировать команду для привязки зоны (очень много данных) (%1%)", command);
        return false;
    }

    transfer(command);
    if (scenario != Zone::noScenario &&
        !transfer("zoneScBind " + std::to_string(zoneNumber) + " " + std::to_string(scenario), nullptr,
                  false)) {
        // The console has the zone without its message: it goes again, here as on the console.
        const bool deleted = transfer("zoneDel " + std::to_string(zoneNumber), nullptr, false);
        here.error(L"Ошибка привязки сообщения");
        std::lock_guard<std::recursive_mutex> guard(mutex());
        zones_.erase(zoneNumber);
        zonesChanged(deleted);
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(mutex());
    zones_[zoneNumber] = Zone{zoneNumber, virtualZone & 0xFFFF, scenario, addresses};
    zonesChanged(true);
    return true;
}

bool TribelInfo::unbindZone(int zoneNumber) {
    const debug::Place here("device::TribelInfo::unbindZone");
    if (getZones().count(zoneNumber) == 0) {
        here.warn(L"Не удается удалить зону %1%, потому что она не найдена", zoneNumber);
        return false;
    }
    transfer("zoneDel " + std::to_string(zoneNumber));
    std::lock_guard<std::recursive_mutex> guard(mutex());
    zones_.erase(zoneNumber);
    zonesChanged(true);
    return true;
}

}  // namespace device
