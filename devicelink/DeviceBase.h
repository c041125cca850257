#pragma once
// The common base of the loudspeaker and the microphone console: identity, online and
// responding state, the request/response exchange through the one transport with a
// per-device reply cache, the volume switch, reboot and state notifications.
//
// A member marked "Exchanges" here and in the device classes may send the device requests and
// wait for their replies, about two seconds a try while the device is silent: call it on the
// dispatcher or a worker, never on the window's thread nor in a transport's handler (the
// transport logs such a wait as an ERROR).

#include <array>
#include <atomic>
#include <boost/noncopyable.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "devicelink/CommonConfig.h"
#include "devicelink/DeviceReply.h"
#include "devicelink/StatePacket.h"
#include "devicelink/TransferProtocol.h"
#include "devicelink/Version.h"
#include "foundation/ChangeMark.h"
#include "foundation/NetworkAddress.h"

namespace device {

class DeviceBase;
class IFirmware;
class IFirmwareCollection;
namespace memory {
class IAudioControl;
}

// Tells the window that a device's online or responding state changed; runs on the
// dispatcher's executor.
using StateHandler = std::function<void(const std::shared_ptr<DeviceBase>&)>;
using UpgradeProgressCallback = std::function<void(const std::shared_ptr<DeviceBase>&, int percent)>;

// The text of a reply that the device sends while it is still busy with a command.
inline constexpr const char* kBusyReply = "Processing of the previous command isn't complete!";
inline constexpr std::int32_t kUnknownVolume = 0x7FFFFFFF;
inline constexpr std::int64_t kOnlineWindowUs = 5000000;

class DeviceBase : private boost::noncopyable {
public:
    DeviceBase(std::uint32_t id, const net::HardwareAddress& hardwareAddress, const net::IpAndPort& address,
               const std::wstring& title, std::shared_ptr<TransferProtocol> protocol);
    virtual ~DeviceBase();

    // The virtual slots, in their order.
    // Exchanges in a device class that ends what uses the memory first.
    virtual void releaseAudioMemory();
    virtual void checkOnline(bool requireState);
    virtual void resetCache();
    virtual bool checkUpgradePossibility(const std::shared_ptr<IFirmware>& image) = 0;
    // Exchanges.
    virtual bool setVolume(std::int32_t level) = 0;
    virtual bool parseState(const std::string& packet, const net::IpAndPort& sender) = 0;
    // Exchanges in a device class that asks its audio memory.
    virtual bool hasInternalPlaying() = 0;
    virtual std::wstring getTypeText() = 0;
    // The network, server and Nerida settings, from the device's cache unless `refresh`. Exchanges.
    virtual CommonConfig getCommonConfig(bool refresh) = 0;
    // Writes the changed ones; true when the device restarted to take them. Exchanges.
    virtual bool setCommonConfig(const CommonConfig& common) = 0;
    // The device's diagnostic text: the reply to debugInfoRequest(false). Exchanges.
    virtual std::string getDebugInfo() = 0;
    // Starts the device's self test, whose result comes in its status packets. Exchanges.
    virtual void startDeviceTest() = 0;
    virtual bool isTestRunning() const = 0;
    virtual void handleVolume(const std::string& reply) = 0;
    // Exchanges.
    virtual void startUpgrade() {}
    virtual void resetPlaybackType() {}
    // Builds the audio memory of the layout that suits the device; `flag` is the device class's
    // (an empty memory that ignores the flash, for the loudspeaker). A device class without an
    // audio memory keeps this empty one. Exchanges (it reads the flash).
    virtual std::shared_ptr<memory::IAudioControl> initAudioMemory(bool flag) { return nullptr; }

    // The audio memory, built once through initAudioMemory and kept until the cache is reset.
    // A failure to build it is passed on when `rethrow`, else the result is empty. Exchanges.
    std::shared_ptr<memory::IAudioControl> getAudioMemory(bool flag, bool rethrow);

    // The request whose reply is the diagnostic text of the device's main board, or, with
    // `lineControl`, of its line-control module where it has one.
    virtual std::string debugInfoRequest(bool lineControl) const = 0;

    // An exchange other than a read went unanswered: the device may have carried the request out
    // all the same, so every cached value it may have changed is dropped and the next request goes
    // to the device.
    virtual void dropCachedValues();

    // Firmware update (DeviceBaseFirmware.cpp). Unless `force`, refuses a collection without a
    // valid first image ("incorrectFirmware"), one with an image that checkUpgradePossibility
    // refuses ("wrongVersion") and an update while one runs ("busy"); then writes the first
    // image and keeps the rest as the device's update queue. True when the image's write started.
    // Exchanges.
    bool upgradeFirmware(std::shared_ptr<IFirmwareCollection> collection, UpgradeProgressCallback callback,
                         bool force);
    // The percent of the whole update queue, -1 after a failure.
    std::int32_t getProgressOfUpgrading();
    // Drops the images still waiting; the one being written is not touched.
    void clearUpgradeQueue();

    // Identity.
    void setThisBasePtr(const std::shared_ptr<DeviceBase>& self);
    // The device's own shared pointer; a lost one stops the program.
    std::shared_ptr<DeviceBase> getThisBasePtr();
    std::uint32_t getId() const { return id_; }
    const net::HardwareAddress& getHardwareAddress() const { return hardwareAddress_; }
    net::IpAndPort getAddress() const;
    // Replaces the address as a whole; readers never see half of it.
    void setAddress(const net::IpAndPort& address);
    Version getVersion() const;
    void setVersion(const Version& version);
    // Whether the version was set from exactly this text.
    bool hasVersionText(const std::string& text) const;
    bool isType(DeviceType mask) const;
    std::wstring getFirmwareVersionTypeText() const;
    std::wstring getFirmwareVersionText() const;
    std::wstring getDisplayName();
    void setTitle(const std::wstring& title);
    // The mark of the registry's file, which a change of the type, the address or the title marks.
    void markChangesIn(base::ChangeMark changes) { changes_ = std::move(changes); }

    // Online and responding state.
    bool isOnline() const;
    bool isOnlineAndResponding() const;
    void touchLastState();
    void setStateHandler(StateHandler handler);
    // Tells the window of the device's state; what it then shows is the state told.
    void notifyWithState();
    // What the device list shows of the state: not online, online but not answering, in service.
    enum class ShownState { unknown, offline, notResponding, inService };
    ShownState shownState() const;
    // Tells the window when the shown state is not the one it was last told, so that a device heard
    // again shows at once while an unchanged status packet tells nothing; with `alreadyTold` only
    // notes it (a notification on its way reads it). The state told before.
    ShownState tellShownState(bool alreadyTold = false);
    // Sends its check without waiting for the reply. Unless `force`, a device heard but not
    // answering is asked again after a pause that grows from seconds while it does not answer, up
    // to two minutes.
    void checkResponding(bool force);

    // Exchanges that do not wait: the requests of one run (the pieces of a write) go to the
    // address the device had when the run began, and complete on the thread dispatcher. The
    // door holds the transport, not the device, so that a run can still be dropped once the
    // device is gone.
    class AsyncDoor {
    public:
        AsyncDoor() = default;
        // Queues the request; false when it could not be queued.
        bool send(const std::string& request, TransferHandler handler, int priority,
                  unsigned intervalMs) const;
        // Drops the run's requests still queued for the address, without completing them; other
        // callers' requests stay.
        void drop() const;
        const net::IpAndPort& address() const { return address_; }

    private:
        friend class DeviceBase;
        AsyncDoor(std::shared_ptr<TransferProtocol> protocol, const net::IpAndPort& address);

        std::shared_ptr<TransferProtocol> protocol_;
        net::IpAndPort address_;
        RequestQueue::Group group_ = 0;
    };
    AsyncDoor asyncDoor() const;

    // Exchanges, all but the two reply readers handleResponse and readAnswer.
    std::string transfer(const std::string& request);
    bool transfer(const std::string& request, std::string* reply, bool rethrow);
    // One exchange of a command that only the device's success answer acknowledges (a piece of
    // the audio memory, a firmware block); false when the device is offline or answers anything
    // else, which leaves the command undone.
    bool transferAcknowledged(const std::string& request);
    bool checkExchange(bool rethrow);
    // The device's success answer, cut down to its payload; false for an error reply (logged)
    // and for any other text, which acknowledges nothing.
    bool handleResponse(std::string& reply);
    // A reply taken as the answer to a request: the success answer or any other text that is
    // neither an error reply (logged) nor blank, cut down to its payload. Devices answer many
    // requests with the bare value.
    bool readAnswer(std::string& reply);
    // The readers of a reply's text and of a status packet's version, for the device classes and
    // whatever reads what a device sent (DeviceReply.h and StatePacket.h tell what they take).
    static std::vector<std::string> splitResponse(const std::string& reply) {
        return DeviceReply::splitResponse(reply);
    }
    template <class Integer>
    static bool parseIntValue(const std::string& text, Integer& value, std::int64_t minimum,
                              std::int64_t maximum) {
        return DeviceReply::parseIntValue(text, value, minimum, maximum);
    }
    static bool parseBoolValue(const std::string& text, bool& value) {
        return DeviceReply::parseBoolValue(text, value);
    }
    static bool parseStateVersion(const std::string& packet, Version* out) {
        return device::parseStateVersion(packet, out);
    }

    // The `volume` known, asked of the device when it is not known yet despite the getter's name.
    std::int32_t getVolume();
    bool enableVolume(bool enable);
    bool reboot();

    // "set <key> <value>" when the value changed; returns `restart` when it was sent.
    // A failed exchange passes its exception on. Exchanges.
    bool setParameter(const std::string& key, const std::string& oldValue, const std::string& newValue,
                      bool restart);
    // Texts compared as texts; without this a literal would pick the bool form.
    bool setParameter(const std::string& key, const char* oldValue, const char* newValue, bool restart);
    // Sent as "on" / "off".
    bool setParameter(const std::string& key, bool oldValue, bool newValue, bool restart);
    // Numbers are sent in decimal; a byte is sent as a number, not as a character.
    bool setParameter(const std::string& key, std::uint8_t oldValue, std::uint8_t newValue, bool restart);
    bool setParameter(const std::string& key, std::uint16_t oldValue, std::uint16_t newValue, bool restart);
    bool setParameter(const std::string& key, std::int32_t oldValue, std::int32_t newValue, bool restart);
    bool setParameter(const std::string& key, std::uint32_t oldValue, std::uint32_t newValue, bool restart);

    // The reply cache.
    void addCacheableRequest(const std::string& request);
    std::string getFromCache(const std::string& request);
    void putIntoCache(const std::string& request, const std::string& reply);
    void clearCache();

    // State that the device classes read and write.
    std::atomic<bool> compatible{true};
    std::atomic<std::int32_t> volume{kUnknownVolume};
    std::atomic<std::int32_t> savedVolume{kUnknownVolume};
    std::atomic<std::int64_t> rebootTime{0};
    std::atomic<std::int64_t> lastStateTime{0};
    std::atomic<std::int64_t> lastCheckTime{0};
    std::atomic<std::int64_t> lastPacketTime{0};
    std::atomic<bool> stateReceived{false};
    std::atomic<bool> responding{false};

    // Microseconds of the system clock from 1601-01-01, the time base of device times.
    static std::int64_t now();

protected:
    // Guards title, state handler, self, version, status, versionText and both caches.
    std::recursive_mutex& mutex() const { return mutex_; }

    // The two halves of enableVolume, which a device class whose own scale has levels that no
    // percentage tells apart does in that scale. rememberLevel, before a mute, keeps the level the
    // device has as savedVolume, reading it when it is not known; a device found silent shows
    // volume 0 and has nothing remembered. False when the level could not be known. restoreLevel
    // gives back the remembered level, 1 % when none was. Exchanges.
    virtual bool rememberLevel();
    virtual bool restoreLevel();

    const std::uint32_t id_;
    const net::HardwareAddress hardwareAddress_;
    // The 25 capability flags the device classes set on every version change.
    std::array<bool, 25> status_{};
    std::string versionText_;
    std::shared_ptr<memory::IAudioControl> audioMemory_;
    // The image being written, the images after it and the caller's progress callback; under
    // the device lock.
    std::shared_ptr<IFirmware> firmware_;
    std::shared_ptr<IFirmwareCollection> upgradeQueue_;
    UpgradeProgressCallback upgradeCallback_;
    const std::shared_ptr<TransferProtocol> protocol_;

private:
    // A reply that the device gave while it was still busy is never an answer.
    bool acceptsReply(std::string& reply);
    bool judgeReply(std::string& reply, bool successOnly);
    // The body of transfer; with `successOnly` only the success answer is taken, never from the
    // cache.
    std::string exchangeReply(const std::string& request, bool successOnly);
    void handleCheckReply(const std::string& reply, bool ok, const net::IpAndPort& address,
                          std::int64_t sentAt);
    // An answer came now: it answers, and a device that stops answering is asked again soon.
    void answered();
    bool sendParameter(const std::string& key, const std::string& valueText, bool restart);

    mutable std::recursive_mutex mutex_;
    Version version_;
    std::shared_ptr<const net::IpAndPort> address_;
    StateHandler stateHandler_;
    std::weak_ptr<DeviceBase> self_;
    std::wstring title_;
    base::ChangeMark changes_;
    std::atomic<ShownState> toldState_{ShownState::unknown};
    // When the device last answered anything and when it was last sent its check (monotonic
    // clock, so that a step of the system clock neither hurries nor holds the checks), and how
    // many checks in a row it left unanswered since.
    std::atomic<std::int64_t> lastAnswerTime_{0};
    std::atomic<std::int64_t> lastCheckSent_{0};
    std::atomic<unsigned> unansweredChecks_{0};
    std::set<std::string> cacheableRequests_;
    std::map<std::string, std::string> responseCache_;
};

}  // namespace device
