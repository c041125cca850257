// The registry's zone bindings: a console zone is bound to a virtual zone that its loudspeakers
// announce, and each of those loudspeakers keeps the console's device number. Binding,
// rebinding and unbinding write both sides; the search finds bindings that do not match and the
// repair removes them.

#include <algorithm>
#include <sstream>

#include "devicelink/DeviceCollection.h"
#include "devicelink/IAudioControl.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr int lowestZone = 1;
constexpr int highestZone = 20;
constexpr int highestVirtualZone = 1023;
// Each console prefers the block of 20 virtual zones that its device number picks.
constexpr std::uint32_t zoneBlocks = 51;
constexpr int zonesPerBlock = 20;
constexpr const char* searchPlace = "device::DeviceCollection::searchForDevicesWithBrokenTranslationZones";
constexpr const wchar_t* consoleFailure = L"Не удалось настроить микрофонную консоль";

std::uint32_t numberOf(const DeviceBase& device) {
    return device.getHardwareAddress().getLow();
}

net::HardwareAddress addressOf(std::uint32_t number) {
    return net::HardwareAddress(net::HardwareAddress::vendorPrefix, number);
}

[[noreturn]] void refuse(const wchar_t* code) {
    throw exception::UserResponse(code, L"");
}

// One exchange with a device that must be online and responding.
void requireAnswering(DeviceBase& device) {
    if (!device.isOnlineAndResponding()) throw exception::Offline();
    device.checkExchange(true);
}

// "[1,2]", "[]".
template <class Numbers>
std::string listText(const Numbers& numbers) {
    std::ostringstream text;
    text << "[";
    const char* separator = "";
    for (const auto number : numbers) {
        text << separator << number;
        separator = ",";
    }
    text << "]";
    return text.str();
}

std::set<int> virtualZonesOf(const ConsoleZones& zones) {
    std::set<int> result;
    for (const auto& [number, zone] : zones) result.insert(zone.virtualZone);
    return result;
}

template <class A, class B>
bool intersects(const std::set<A>& a, const std::set<B>& b) {
    return std::any_of(a.begin(), a.end(), [&b](const A& entry) { return b.count(entry) != 0; });
}

// Whether the loudspeaker's audio memory has a scenario with that play number.
bool hasScenario(LoudspeakerBase& loudspeaker, int scenario) {
    const std::shared_ptr<memory::IAudioControl> memory = loudspeaker.getAudioMemory(false, true);
    if (!memory) return false;
    const std::vector<memory::ScenarioEntry> scenarios = memory->getScenarios();
    return std::any_of(scenarios.begin(), scenarios.end(),
                       [scenario](const memory::ScenarioEntry& entry) { return entry.order == scenario; });
}

}  // namespace

// What one binding added to one loudspeaker, so that a failed binding takes back only that.
struct DeviceCollection::AddedEntries {
    std::shared_ptr<LoudspeakerBase> loudspeaker;
    int virtualZone = 0;
    std::uint32_t console = 0;
    bool announceZone = false;
    bool zoneAddress = false;
};

// One zone of a console's repair and how far it got.
struct DeviceCollection::ZoneRepair {
    ConsoleZone original;
    bool unbound = false;
    bool rebound = false;
};

std::shared_ptr<DeviceBase> DeviceCollection::findByNumber(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const auto& [address, entry] : devices_) {
        if (address.getLow() == number) return entry.device;
    }
    return nullptr;
}

std::vector<std::shared_ptr<ConsoleBase>> DeviceCollection::consoles(bool onlineOnly) {
    return castAll<ConsoleBase>(getDevicesOfFamily(types::console, onlineOnly));
}

std::vector<std::shared_ptr<LoudspeakerBase>> DeviceCollection::loudspeakers(bool onlineOnly) {
    return castAll<LoudspeakerBase>(getDevicesOfFamily(types::loudspeaker, onlineOnly));
}

std::set<int> DeviceCollection::offlineVirtualZones() {
    std::set<int> zones;
    for (const auto& console : consoles(false)) {
        if (console->isOnlineAndResponding()) continue;
        if (const std::optional<ConsoleZones> cached = console->getCachedZones()) {
            const std::set<int> own = virtualZonesOf(*cached);
            zones.insert(own.begin(), own.end());
        }
    }
    return zones;
}

void DeviceCollection::checkPossibilityOfBinding(const Console& console, const int& zone, int scenario,
                                                 const Loudspeakers& loudspeakers) {
    const char* place = "device::DeviceCollection::checkPossibilityOfBinding";
    debug::Place(place).trace(L"");
    debug::throwIfFalse(console != nullptr && !loudspeakers.empty(), place);
    requireAnswering(*console);
    for (const auto& loudspeaker : loudspeakers) {
        debug::throwIfFalse(loudspeaker != nullptr, place);
        requireAnswering(*loudspeaker);
    }
    if (console->hasInternalPlaying()) refuse(L"internalPlaying");
    for (const auto& loudspeaker : loudspeakers) {
        if (loudspeaker->hasInternalPlaying()) refuse(L"internalPlaying");
    }
    if (zone < lowestZone || zone > highestZone) refuse(L"incorrectZone");
    const bool withScenario = scenario != ConsoleZone::noScenario;
    if (withScenario && !console->isFireConsole()) refuse(L"noFireType");

    std::set<std::uint32_t> numbers;
    for (const auto& loudspeaker : loudspeakers) {
        if (!loudspeaker->isOnlineAndResponding()) throw exception::Offline();
        loudspeaker->requireZoneLists();
        if (!withScenario) continue;
        numbers.insert(numberOf(*loudspeaker));
        if (!hasScenario(*loudspeaker, scenario)) refuse(L"noScenario");
    }
    if (!withScenario) return;
    // Another message zone may share loudspeakers with this one only when all of its
    // loudspeakers belong to this one and its message is another.
    for (const auto& [number, other] : console->getZones()) {
        if (other.scenario == ConsoleZone::noScenario || number == zone) continue;
        std::set<std::uint32_t> shared;
        for (const std::uint32_t address : other.addresses) {
            if (numbers.count(address) != 0) shared.insert(address);
        }
        if (!shared.empty() && (shared != other.addresses || other.scenario == scenario))
            refuse(L"partialIntersection");
    }
}

int DeviceCollection::chooseVirtualZone(const Console& console, const int& zone,
                                        const std::set<std::uint32_t>& numbers) {
    // The same loudspeakers in a zone of an online console: the same virtual zone.
    std::set<int> used;
    for (const auto& other : consoles(true)) {
        for (const auto& [number, bound] : other->getZones()) {
            if (bound.addresses == numbers) return bound.virtualZone;
            used.insert(bound.virtualZone);
        }
    }
    // The zones of consoles that are only offline keep their virtual zones.
    const std::set<int> offline = offlineVirtualZones();
    used.insert(offline.begin(), offline.end());
    const int preferred = zone + zonesPerBlock * static_cast<int>(numberOf(*console) % zoneBlocks);
    if (used.count(preferred) == 0) return preferred;
    for (int candidate = 1; candidate <= highestVirtualZone; ++candidate) {
        if (used.count(candidate) == 0) return candidate;
    }
    throw exception::InternalError(L"Свободная виртуальная зона не найдена");
}

void DeviceCollection::bindDevices(const Console& console, const int& zone, int scenario,
                                   const Loudspeakers& loudspeakers) {
    debug::Place("device::DeviceCollection::bindDevices").trace(L"");
    checkPossibilityOfBinding(console, zone, scenario, loudspeakers);
    if (console->getZones().count(zone) != 0) refuse(L"zoneBusy");
    std::set<std::uint32_t> numbers;
    for (const auto& loudspeaker : loudspeakers) numbers.insert(numberOf(*loudspeaker));
    const int virtualZone = chooseVirtualZone(console, zone, numbers);
    const std::uint32_t own = numberOf(*console);

    std::vector<AddedEntries> added;
    try {
        for (const auto& loudspeaker : loudspeakers) {
            const bool announces = loudspeaker->readAnnounceZones().count(virtualZone) != 0;
            const bool reaches = loudspeaker->readZoneAddresses().count(own) != 0;
            // Marked before it is sent: an unanswered addition may have been carried out.
            added.push_back(AddedEntries{loudspeaker, virtualZone, own, !announces, false});
            if (!announces) loudspeaker->addAnnounceZone(virtualZone);
            added.back().zoneAddress = !reaches;
            if (!reaches) loudspeaker->addZoneAddress(own);
        }
        if (console->bindZone(zone, virtualZone, scenario, numbers)) return;
    } catch (...) {
        undo(added);
        throw;
    }
    undo(added);
    throw exception::ExternalError(consoleFailure, L"");
}

void DeviceCollection::undo(std::vector<AddedEntries>& added) {
    const debug::Place place("device::DeviceCollection::bindDevices");
    for (auto entry = added.rbegin(); entry != added.rend(); ++entry) {
        try {
            if (entry->zoneAddress) entry->loudspeaker->removeZoneAddress(entry->console);
            if (entry->announceZone) entry->loudspeaker->removeAnnounceZone(entry->virtualZone);
        } catch (const exception::Base& error) {
            place.warn(L"What the binding added to the loudspeaker '%1%' stays: %2%",
                       entry->loudspeaker->getHardwareAddress().toCharArray(), error.what());
        }
    }
}

void DeviceCollection::rebindDevices(const Console& console, const int& zone, int scenario,
                                     const Loudspeakers& loudspeakers) {
    debug::Place("device::DeviceCollection::rebindDevices").trace(L"");
    checkPossibilityOfBinding(console, zone, scenario, loudspeakers);
    if (console->getZones().count(zone) != 0) unbindDevices(console, zone);
    bindDevices(console, zone, scenario, loudspeakers);
}

void DeviceCollection::unbindDevices(const Console& console, const int& zone) {
    debug::Place("device::DeviceCollection::unbindDevices").trace(L"");
    debug::throwIfFalse(console != nullptr, "device::DeviceCollection::unbindDevices");
    const ConsoleZones zones = console->getZones();
    const auto found = zones.find(zone);
    if (found == zones.end()) refuse(L"unknownZone");
    std::vector<std::shared_ptr<LoudspeakerBase>> bound;
    for (const auto& loudspeaker : loudspeakers(true)) {
        if (found->second.addresses.count(numberOf(*loudspeaker)) != 0) bound.push_back(loudspeaker);
    }
    if (console->hasInternalPlaying()) refuse(L"internalPlaying");
    for (const auto& loudspeaker : bound) {
        if (loudspeaker->hasInternalPlaying()) refuse(L"internalPlaying");
    }
    const int virtualZone = console->findZone(zone).virtualZone;
    if (!console->unbindZone(zone)) throw exception::ServerError();

    const std::set<int> remaining = virtualZonesOf(console->getZones());
    const std::uint32_t own = numberOf(*console);
    for (const auto& loudspeaker : bound) {
        if (!loudspeaker->hasZoneLists()) continue;
        if (!intersects(loudspeaker->readAnnounceZones(), remaining)) loudspeaker->removeZoneAddress(own);
    }
    // A virtual zone that another console still has, online or only offline, stays.
    for (const auto& other : consoles(true)) {
        if (virtualZonesOf(other->getZones()).count(virtualZone) != 0) return;
    }
    if (offlineVirtualZones().count(virtualZone) != 0) return;
    for (const auto& loudspeaker : loudspeakers(true)) {
        if (!loudspeaker->hasZoneLists()) continue;
        if (loudspeaker->readAnnounceZones().count(virtualZone) != 0)
            loudspeaker->removeAnnounceZone(virtualZone);
    }
}

DeviceCollection::BrokenZones DeviceCollection::searchForDevicesWithBrokenTranslationZones() {
    const debug::Place place(searchPlace);
    place.trace(L"");
    BrokenZones broken;
    const std::vector<std::shared_ptr<ConsoleBase>> onlineConsoles = consoles(true);

    // Each console's zones against their loudspeakers.
    for (const auto& console : onlineConsoles) {
        const std::uint32_t own = numberOf(*console);
        for (const auto& [number, zone] : console->getZones()) {
            for (const std::uint32_t address : zone.addresses) {
                const net::HardwareAddress hardware = addressOf(address);
                const auto report = [&, number = number] { broken[console][number].insert(hardware); };
                const std::shared_ptr<DeviceBase> device = findByNumber(address);
                const auto loudspeaker = std::dynamic_pointer_cast<LoudspeakerBase>(device);
                if (!device) {
                    place.debug(L"The Tribel '%1%[%2%]' is bound with unknown vokar '%3%'", console->getId(),
                                number, hardware.toCharArray());
                    report();
                } else if (!loudspeaker) {
                    place.important(L"Tribel '%1%[%2%]' is bound with Tribel '%3%'!!!", console->getId(),
                                    number, hardware.toCharArray());
                    report();
                } else if (!loudspeaker->isOnlineAndResponding()) {
                    // Only offline: its binding is not known to be broken.
                    place.debug(L"Tribel (%1%) has an offline vokar (%2%,%3%) in a zone (%4%).",
                                console->getId(), loudspeaker->getId(), hardware.toCharArray(), number);
                } else if (loudspeaker->readAnnounceZones().count(zone.virtualZone) == 0) {
                    place.debug(L"There is no virtual zone on vokar (%1%,%2%) for tribel zone (%3%[%4%,%5%])",
                                loudspeaker->getId(), hardware.toCharArray(), console->getId(), number,
                                zone.virtualZone);
                    report();
                } else if (loudspeaker->readZoneAddresses().count(own) == 0) {
                    place.debug(L"Vokar (id=%1%) doesn't have bound tribel (id=%2%,hw=%3%,zone=%4%[%5%]).",
                                loudspeaker->getId(), console->getId(), hardware.toCharArray(), number,
                                zone.virtualZone);
                    report();
                }
            }
        }
    }

    // Each loudspeaker's lists against the consoles.
    for (const auto& loudspeaker : loudspeakers(true)) {
        if (!loudspeaker->hasZoneLists()) continue;
        std::set<std::int32_t> unclaimed = loudspeaker->readAnnounceZones();
        // An offline console whose zones were never read may own any of them.
        bool unknownOwner = false;
        for (const std::uint32_t address : loudspeaker->readZoneAddresses()) {
            const net::HardwareAddress hardware = addressOf(address);
            const auto report = [&] {
                broken[loudspeaker][static_cast<std::int32_t>(address)].insert(hardware);
            };
            const std::shared_ptr<DeviceBase> device = findByNumber(address);
            const auto console = std::dynamic_pointer_cast<ConsoleBase>(device);
            if (!device) {
                place.debug(L"The Vokar '%1%' is bound with unknown Tribel '%2%'", loudspeaker->getId(),
                            hardware.toCharArray());
                report();
                continue;
            }
            if (!console) {
                place.important(L"Vokar '%1%' is bound with Vokar '%2%'!!!", loudspeaker->getId(),
                                hardware.toCharArray());
                report();
                continue;
            }
            if (!console->isOnlineAndResponding()) {
                place.debug(L"Vokar (%1%) has an offline tribel (%2%,%3%)", loudspeaker->getId(),
                            console->getId(), hardware.toCharArray());
                const std::optional<ConsoleZones> cached = console->getCachedZones();
                unknownOwner |= !cached;
                if (cached) {
                    for (const int zone : virtualZonesOf(*cached)) unclaimed.erase(zone);
                }
                continue;
            }
            const std::set<int> own = virtualZonesOf(console->getZones());
            for (const int zone : own) unclaimed.erase(zone);
            const std::set<std::int32_t> announced = loudspeaker->readAnnounceZones();
            if (!announced.empty() && !intersects(announced, own)) {
                place.debug(L"Vokar (%1%,%2%) don't have source virtual zone on tribel side (%3%,%4%)",
                            loudspeaker->getId(), listText(announced), console->getId(), listText(own));
                report();
            }
        }
        if (unknownOwner) continue;
        for (const std::int32_t zone : unclaimed) {
            place.debug(L"Vokar (%1%) has unknown virtual zone %2%", loudspeaker->getId(), zone);
            broken[loudspeaker][zone];
        }
    }

    // Virtual zones that two consoles use for different loudspeakers.
    std::map<int, std::set<std::uint32_t>> seen;
    for (const auto& console : onlineConsoles) {
        for (const auto& [number, zone] : console->getZones()) {
            const auto [first, taken] = seen.emplace(zone.virtualZone, zone.addresses);
            if (taken || first->second == zone.addresses) continue;
            place.debug(L"Tribel=%1% has dissimilar virtual zone=%2% with devices=%3% != %4%",
                        console->getId(), zone.virtualZone, listText(zone.addresses),
                        listText(first->second));
            for (const std::uint32_t address : zone.addresses)
                broken[console][number].insert(addressOf(address));
        }
    }
    return broken;
}

void DeviceCollection::fixIntegrity(const std::shared_ptr<DeviceBase>& device) {
    debug::Place("device::DeviceCollection::fixIntegrity").trace(L"");
    debug::throwIfFalse(device != nullptr, "device::DeviceCollection::fixIntegrity");
    if (device->hasInternalPlaying()) refuse(L"internalPlaying");
    const BrokenZones broken = searchForDevicesWithBrokenTranslationZones();
    const auto found = broken.find(device);
    if (found == broken.end()) refuse(L"none");
    if (const auto console = std::dynamic_pointer_cast<ConsoleBase>(device)) {
        repairConsole(*console, found->second);
    } else if (const auto loudspeaker = std::dynamic_pointer_cast<LoudspeakerBase>(device)) {
        repairLoudspeaker(*loudspeaker, found->second);
    } else {
        throw exception::ServerError();
    }
}

void DeviceCollection::repairConsole(ConsoleBase& console, const std::map<std::int32_t, Addresses>& broken) {
    std::vector<ZoneRepair> repairs;
    bool refused = false;
    try {
        for (const auto& [zone, addresses] : broken) {
            repairs.push_back(ZoneRepair{console.findZone(zone)});
            ZoneRepair& repair = repairs.back();
            std::set<std::uint32_t> kept = repair.original.addresses;
            for (const net::HardwareAddress& address : addresses) kept.erase(address.getLow());
            refused = !console.unbindZone(zone);
            if (refused) break;
            repair.unbound = true;
            if (kept.empty()) continue;
            refused = !console.bindZone(zone, repair.original.virtualZone, repair.original.scenario, kept);
            if (refused) break;
            repair.rebound = true;
        }
    } catch (...) {
        restore(console, repairs);
        throw;
    }
    if (!refused) return;
    restore(console, repairs);
    throw exception::ExternalError(consoleFailure, L"");
}

void DeviceCollection::restore(ConsoleBase& console, const std::vector<ZoneRepair>& repairs) {
    const debug::Place place("device::DeviceCollection::fixIntegrity");
    for (auto repair = repairs.rbegin(); repair != repairs.rend(); ++repair) {
        const ConsoleZone& zone = repair->original;
        try {
            bool restored = true;
            if (repair->rebound) restored = console.unbindZone(zone.zoneNumber);
            if (restored && repair->unbound)
                restored = console.bindZone(zone.zoneNumber, zone.virtualZone, zone.scenario, zone.addresses);
            if (!restored)
                place.error(L"The zone %1% of the console id=%2% was not restored", zone.zoneNumber,
                            console.getId());
        } catch (const exception::Base& error) {
            place.error(L"The zone %1% of the console id=%2% was not restored: %3%", zone.zoneNumber,
                        console.getId(), error.what());
        }
    }
}

void DeviceCollection::repairLoudspeaker(LoudspeakerBase& loudspeaker,
                                         const std::map<std::int32_t, Addresses>& broken) {
    // What was removed, in order: a virtual zone (true) or a console's device number.
    std::vector<std::pair<std::int32_t, bool>> removed;
    try {
        for (const auto& [key, addresses] : broken) {
            const bool virtualZone = addresses.empty();
            removed.emplace_back(key, virtualZone);
            if (virtualZone) {
                loudspeaker.removeAnnounceZone(key);
            } else {
                loudspeaker.removeZoneAddress(static_cast<std::uint32_t>(key));
            }
        }
    } catch (...) {
        const debug::Place place("device::DeviceCollection::fixIntegrity");
        for (auto entry = removed.rbegin(); entry != removed.rend(); ++entry) {
            try {
                if (entry->second) {
                    loudspeaker.addAnnounceZone(entry->first);
                } else {
                    loudspeaker.addZoneAddress(static_cast<std::uint32_t>(entry->first));
                }
            } catch (const exception::Base& error) {
                place.error(L"The entry %1% of the loudspeaker id=%2% was not restored: %3%", entry->first,
                            loudspeaker.getId(), error.what());
            }
        }
        throw;
    }
}

bool DeviceCollection::releaseMessageZones(const Console& console, bool fireConsole, bool force) {
    debug::Place("device::DeviceCollection::setTribelConfig").trace(L"");
    debug::throwIfFalse(console != nullptr, "device::DeviceCollection::setTribelConfig");
    if (fireConsole || !console->isFireConsole()) return true;
    std::vector<int> messageZones;
    for (const auto& [number, zone] : console->getZones()) {
        if (zone.scenario != ConsoleZone::noScenario) messageZones.push_back(number);
    }
    if (messageZones.empty()) return true;
    if (!force) return false;
    for (const int zone : messageZones) unbindDevices(console, zone);
    return true;
}

}  // namespace device
