#pragma once
// The head-end's model of the line-control module of a loudspeaker: the module watches the
// loudspeaker line through up to twenty end devices. It asks the module for its version and
// address, its state, its power-save mode and its list of end devices, and adds and removes end
// devices. It never talks to the network itself: every request goes through the request
// function that the loudspeaker gives it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "devicelink/Version.h"

namespace device::tip_device {

// One end device on the line; a device that is not found has every field zero or empty.
struct TipDevice {
    std::uint8_t present = 0;
    // The module's address of the device plus 11.
    std::uint8_t number = 0;
    // Added and online.
    std::uint8_t active = 0;
    std::uint8_t added = 0;
    std::uint8_t online = 0;
    std::wstring name;
    std::uint8_t thirdFlag = 0;
    std::uint32_t firstValue = 0;
    std::uint32_t secondValue = 0;
    // At most four characters.
    std::string tag;
};

class LineControl {
public:
    // Sends a request to the module and gives its reply; an empty reply is a failed exchange.
    using Request = std::function<void(const std::string& request, std::string& reply)>;

    // The module's state.
    enum State : std::uint32_t { notRead = 0, notReady = 1, active = 2, pause = 3 };
    // The power-save mode.
    enum PowerSave : std::uint32_t { off = 0, on = 1, notReported = 2, unknown = 3 };

    explicit LineControl(Request request);
    LineControl(const LineControl&) = delete;
    LineControl& operator=(const LineControl&) = delete;

    // "lsensor ver" when asked, then "lsensor".
    void refresh(bool withVersion);
    // "lsensor ver": the module's firmware version and hardware address. A version that does
    // not read is exception::UnexpectedResponseOfDevice.
    void initVersionAndAddress();
    // Reads a reply to "lsensor ver" that came some other way (empty: the module did not answer).
    void readVersionAndAddress(const std::string& reply);
    // The version read last, without asking; empty text while none was read.
    Version knownVersion() const;
    // Asks the module first while no version is known.
    Version getMasterFirmwareVersion();
    // "lsensor": the state, the power-save mode and, while the module is active, the end
    // devices. A list that does not read leaves the one known before.
    void requestTipDevices();
    // The end devices while the module is active, asked first when it was not; else none.
    std::vector<TipDevice> getLineState();
    TipDevice getTipDevice(std::uint8_t number);
    // Empty when no device has that number.
    std::wstring getTipDeviceName(std::uint8_t number);
    bool isPowerSaveMode();
    // "lsensor power <mode>"; false when the module's mode is not known or it did not answer.
    bool setPowerSaveMode(std::uint8_t mode);
    // Percent of the module's initialisation; "lsensor dbg" while none is known.
    std::uint32_t getInitializationProgress();
    // The percent the module's state gave last, without asking it.
    std::uint32_t knownInitializationProgress() const;
    // "lsensor add" / "lsensor del" with the module's address of the device; false when refused
    // (power-save mode, no such device) or not answered.
    bool add(std::uint8_t number);
    bool remove(std::uint8_t number);
    // "lsensor addAll": every end device the module sees joins the line; refused in power-save
    // mode and while the module is not ready. True for any reply.
    bool addAll();
    // "lsensor prefReset": the module forgets its end devices; refused in power-save mode.
    bool resetPreferences();
    // "lsensor reboot": the module restarts.
    bool rebootMaster();
    // The end devices that the loudspeaker's status packet reports, by bit (bit i is number
    // i + 11); a change makes the next query ask the module again.
    void setTipDeviceMasks(std::uint32_t addedMask, std::uint32_t onlineMask);
    void resetCache();

    State getState() const;
    std::string getAddress() const;
    std::uint32_t getPowerSaveMode() const;
    // How many queries the module has left unanswered so far: a reader that saw it grow asks no more.
    std::uint64_t unansweredCount() const { return unanswered_.load(); }

private:
    // The module's reply; empty when the exchange failed.
    std::string ask(const std::string& request);
    // Adds or removes: the device must be in the list (and, for adding, not added yet).
    bool changeDevice(std::uint8_t number, bool adding);
    std::wstring nameOf(std::uint8_t number) const;

    mutable std::recursive_mutex lock_;
    Request request_;
    std::atomic<std::uint64_t> unanswered_{0};
    State state_ = notRead;
    std::string address_;
    Version version_;
    std::uint32_t powerSaveMode_ = unknown;
    std::uint32_t initializationProgress_ = 0;
    std::uint32_t addedMask_ = 0;
    std::uint32_t onlineMask_ = 0;
    std::vector<TipDevice> tipDevices_;
};

}  // namespace device::tip_device
