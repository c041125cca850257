#pragma once
// The registry of every device the system knows, keyed by hardware address. Status packets
// enter here: the transport offers it every datagram first, it recognises the status packets,
// hands each one to the device that sent it on the thread dispatcher, and builds a device object
// for a sender it does not know yet. It also gives the rest of the system its look-ups and lists,
// and its control thread watches the devices: whether they still answer, whether two report the
// same network address, and, once after start, whether some need looking for. Its zone bindings
// (DeviceCollectionZones.cpp) bind consoles' zones to loudspeakers, find broken bindings and
// repair them.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/ConsoleBase.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceFactory.h"
#include "devicelink/DeviceType.h"
#include "devicelink/LoudspeakerBase.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/ChangeMark.h"
#include "foundation/LogThrottle.h"
#include "foundation/NetworkAddress.h"
#include "foundation/NetworkProbes.h"
#include "foundation/SerialJobs.h"

namespace device {

class VokarInfo;
class TribelInfo;

// Gives the id of a device that a status packet revealed: (type text, hardware address, title).
using NewDeviceHandler = std::function<std::uint32_t(
    const std::string& typeText, const net::HardwareAddress& address, const std::wstring& title)>;

// The pace of the control thread: the wait before its first cycle and the pause before each cycle.
struct WatchTiming {
    std::chrono::milliseconds firstDelay{3000};
    std::chrono::milliseconds cyclePause{1000};
};

class DeviceCollection {
public:
    // The vendor prefix, then the device number; the text takes no part.
    struct AddressOrder {
        bool operator()(const net::HardwareAddress& a, const net::HardwareAddress& b) const {
            return a.getHigh() != b.getHigh() ? a.getHigh() < b.getHigh() : a.getLow() < b.getLow();
        }
    };
    using Console = std::shared_ptr<ConsoleBase>;
    using Loudspeakers = std::set<std::shared_ptr<LoudspeakerBase>>;
    using Addresses = std::set<net::HardwareAddress, AddressOrder>;
    // What the search found broken, by device. For a console: zone number to the addresses of the
    // zone's broken loudspeakers. For a loudspeaker: a console's device number to that console's
    // address, or a virtual zone that no console has to nothing.
    using BrokenZones = std::map<std::shared_ptr<DeviceBase>, std::map<std::int32_t, Addresses>>;

    // Packets that may wait for their handling before further ones are dropped.
    static constexpr std::size_t kWaitingPackets = 16384;
    // Of them, the packets of one sender address.
    static constexpr std::size_t kWaitingPerSender = 256;
    // Far above any real site; beyond it a new sender only takes the place of a device that
    // nothing needs any more, so a flood of made-up hardware addresses cannot fill the memory and
    // a genuine device still gets in once the flood is over. The state handler hears of the
    // device that gave its place away once more, when the registry no longer holds it.
    static constexpr std::size_t kMostDevices = 4096;
    // Places given to new senders while the registry is full, each second: a flood cannot churn
    // the list faster.
    static constexpr int kReplacementsPerSecond = 8;

    // Cycles of the control thread between two address checks.
    static constexpr std::int64_t kAddressCheckCycles = 60;

    // Takes the transport's all-responses and unknown-responses handlers and starts the control
    // thread.
    DeviceCollection(std::shared_ptr<TransferProtocol> transport, std::uint16_t port);
    ~DeviceCollection();
    DeviceCollection(const DeviceCollection&) = delete;
    DeviceCollection& operator=(const DeviceCollection&) = delete;

    // The builder of one family's devices: `family` is types::loudspeaker or types::console.
    void setFactory(DeviceType family, std::shared_ptr<DeviceFactory> factory);

    // True when the datagram is a status packet: it is queued, or dropped while the queue is full.
    bool handlerForAllResponsesCallback(const std::string& response, const net::IpAndPort& from);
    // One status packet, on the dispatcher, one at a time in arrival order.
    void handleAllStatesCallback(const std::string& packet, const net::IpAndPort& from,
                                 const net::HardwareAddress& address);
    static bool handlerForUnknownResponsesCallback(const std::string& response, const net::IpAndPort& from);

    // The device registered under the address, or a new one; null when nothing could be added.
    std::shared_ptr<DeviceBase> addDevice(std::uint32_t id, const std::string& typeText,
                                          const net::HardwareAddress& address, const net::Ip4Address& lastIp,
                                          const std::wstring& title);
    void remove(const net::HardwareAddress& address);

    // All devices in address order.
    std::vector<std::shared_ptr<DeviceBase>> getDevices();
    // Marked when a device comes or goes, or what the devices' file keeps of one changes.
    const base::ChangeMark& changes() const { return changes_; }
    // The devices built by the family's factory; with onlineOnly only those online and responding.
    std::vector<std::shared_ptr<DeviceBase>> getDevicesOfFamily(DeviceType family, bool onlineOnly);
    // The device of that family under the address, or null.
    std::shared_ptr<DeviceBase> searchForFamily(const net::HardwareAddress& address, DeviceType family);

    // The typed views. They compile where the device classes are known; this library never
    // needs them.
    template <class Vokar = VokarInfo>
    std::shared_ptr<Vokar> searchFor(const net::HardwareAddress& address) {
        return std::dynamic_pointer_cast<Vokar>(searchForFamily(address, types::loudspeaker));
    }
    template <class Vokar = VokarInfo>
    std::vector<std::shared_ptr<Vokar>> getVokars(bool onlineOnly) {
        return castAll<Vokar>(getDevicesOfFamily(types::loudspeaker, onlineOnly));
    }
    template <class Tribel = TribelInfo>
    std::vector<std::shared_ptr<Tribel>> getTribels(bool onlineOnly) {
        return castAll<Tribel>(getDevicesOfFamily(types::console, onlineOnly));
    }

    void setStateHandler(StateHandler handler);
    void setNewDeviceHandler(NewDeviceHandler handler);
    void setInterfaceIp(const std::string& interfaceIp);
    // Ends the control thread, which releases every device's audio memory as it ends; the devices
    // stay registered. Safe to call again.
    void stop();

    // The watch. Another pace wakes the control thread at once; tests run their cycles faster.
    void setWatchTiming(const WatchTiming& timing);
    // Where the discovery datagrams go besides the interface's own broadcast address.
    void setDiscoveryTargets(const os::DiscoveryTargets& targets);
    // Starts a search for the devices that went quiet: one "discovery" datagram to the last
    // address of each, from a thread of its own. withDiscovery also checks the link and sends the
    // factory-address datagram and the broadcasts, and then gives their result. False, with
    // nothing started, while no interface is set.
    bool findLostDevices(bool withDiscovery);
    // "discovery" to the last address of a device that is not online; true when it was sent.
    static bool findLostDevice(const std::string& interfaceIp, std::uint16_t discoveryPort,
                               const std::shared_ptr<DeviceBase>& device);
    // Pings the interface's gateway and logs whether the network answers. An interface that went
    // away or lost its address is logged as no connection.
    static void checkLink(const std::string& interfaceIp);

    // Zone bindings. Consoles and loudspeakers name each other by device number, the last three
    // bytes of the hardware address. Every operation asks the devices anew; refusals are
    // exception::UserResponse with their code, a device that is offline or does not answer
    // exception::Offline, and other device failures pass on.
    //
    // The refusals of a binding, in their order; nothing is changed.
    static void checkPossibilityOfBinding(const Console& console, const int& zone, int scenario,
                                          const Loudspeakers& loudspeakers);
    // Binds a zone the console does not have yet ("zoneBusy"), with the virtual zone of an equal
    // loudspeaker set elsewhere or a free one. When the console refuses, what this call added
    // to the loudspeakers is taken back and exception::ExternalError "Не удалось настроить
    // микрофонную консоль" is thrown; after any other failure it is taken back too.
    void bindDevices(const Console& console, const int& zone, int scenario, const Loudspeakers& loudspeakers);
    // The same, replacing a binding of that zone.
    void rebindDevices(const Console& console, const int& zone, int scenario,
                       const Loudspeakers& loudspeakers);
    // Removes the zone from both sides ("unknownZone"); a virtual zone that another console still
    // uses, online or offline, stays on the loudspeakers.
    void unbindDevices(const Console& console, const int& zone);
    // The bindings that do not match on both sides, among the devices online; a binding whose
    // other side is only offline is not broken.
    BrokenZones searchForDevicesWithBrokenTranslationZones();
    // Repairs the device's broken bindings ("none" when it has none). A console's repair that
    // fails is undone and reported as exception::ExternalError "Не удалось настроить
    // микрофонную консоль"; a loudspeaker's gets back what it removed and passes the failure on.
    void fixIntegrity(const std::shared_ptr<DeviceBase>& device);
    // Writes a console's settings; one that stops being a fire console while zones carry messages
    // is not written (false) unless `force`, which unbinds those zones first.
    template <class Tribel>
    bool setTribelConfig(const std::shared_ptr<Tribel>& console, const typename Tribel::Config& config,
                         bool force) {
        if (!releaseMessageZones(console, config.fireConsole, force)) return false;
        console->setConfig(config);
        return true;
    }

private:
    struct Entry {
        std::shared_ptr<DeviceBase> device;
        DeviceType family = 0;
        // When its last status packet came, or when it was added.
        std::chrono::steady_clock::time_point lastHeard;
    };
    struct ZoneRepair;
    struct AddedEntries;

    // Room for one more device: below the cap, or the place of the device silent longest among
    // those nothing needs any more, at most kReplacementsPerSecond a second; that device is handed
    // back in `replaced`. A full registry is told once per episode.
    bool makeRoom(std::shared_ptr<DeviceBase>& replaced);
    // The body of the control thread, from construction to stop.
    void controlTimeoutThread();
    // The last act of the control thread.
    void releaseAudioMemories();
    // One cycle; `cycle` and `firstCycle` move on only when it gets to its end.
    void watchCycle(std::int64_t& cycle, bool& firstCycle, bool& offlineSeen);
    // Waits until `since` plus the pause that `pause` picks of the current timing; false when
    // stop was asked for first.
    bool pauseWatch(std::chrono::steady_clock::time_point since,
                    std::chrono::milliseconds WatchTiming::*pause);

    // Zone bindings.
    // The device with that device number, or null; looked up under the registry's lock.
    std::shared_ptr<DeviceBase> findByNumber(std::uint32_t number);
    std::vector<std::shared_ptr<ConsoleBase>> consoles(bool onlineOnly);
    std::vector<std::shared_ptr<LoudspeakerBase>> loudspeakers(bool onlineOnly);
    // The virtual zones that the known consoles that are offline had when their zones were last read.
    std::set<int> offlineVirtualZones();
    int chooseVirtualZone(const Console& console, const int& zone, const std::set<std::uint32_t>& numbers);
    static void undo(std::vector<AddedEntries>& added);
    bool releaseMessageZones(const Console& console, bool fireConsole, bool force);
    // Each broken zone loses its broken loudspeakers; a zone left with none goes. A repair that
    // fails gives every zone it changed back.
    static void repairConsole(ConsoleBase& console, const std::map<std::int32_t, Addresses>& broken);
    static void restore(ConsoleBase& console, const std::vector<ZoneRepair>& repairs);
    static void repairLoudspeaker(LoudspeakerBase& loudspeaker,
                                  const std::map<std::int32_t, Addresses>& broken);

    template <class Device>
    static std::vector<std::shared_ptr<Device>> castAll(
        const std::vector<std::shared_ptr<DeviceBase>>& devices) {
        std::vector<std::shared_ptr<Device>> result;
        result.reserve(devices.size());
        for (const auto& device : devices) {
            if (auto typed = std::dynamic_pointer_cast<Device>(device)) result.push_back(std::move(typed));
        }
        return result;
    }

    std::recursive_mutex lock_;
    base::ChangeMark changes_;
    const std::shared_ptr<TransferProtocol> transport_;
    std::map<net::HardwareAddress, Entry, AddressOrder> devices_;
    StateHandler stateHandler_;
    NewDeviceHandler newDeviceHandler_;
    std::string interfaceIp_;
    const std::uint16_t port_;
    std::map<DeviceType, std::shared_ptr<DeviceFactory>> factories_;
    // Shared with the transport's handler, so that a datagram arriving while the registry goes
    // away reaches a closed queue rather than a destroyed registry.
    std::shared_ptr<base::SerialJobs> packets_;
    os::DiscoveryTargets discoveryTargets_;
    // The registry is full; told once until it has room again.
    bool capReached_ = false;
    // The second in which places were last given to new senders, and how many it has left.
    std::chrono::steady_clock::time_point replacementSecond_;
    int replacementsLeft_ = 0;
    base::LogThrottle badPacketLines_;

    // The control thread's own lock and wake-up, never taken together with `lock_`.
    std::mutex watchLock_;
    std::condition_variable watchWake_;
    WatchTiming watchTiming_;
    bool stopRequested_ = false;
    std::thread controlThread_;
};

}  // namespace device
