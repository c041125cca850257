#pragma once
// What every firmware image has: its bytes, and the update that writes them into the bound
// device as hexadecimal text in blocks of 512 bytes: the memory-size query, the erase, the
// blocks and the closing request queued at once, one completion each, and a reboot once every
// one of them was acknowledged. The formats (VokarAFirmware.h, VokarAV2Firmware.h,
// FirmwareUnify.h) give the checks, the version and the command texts.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "devicelink/IFirmware.h"
#include "devicelink/RequestQueue.h"
#include "foundation/NetworkAddress.h"

namespace device {

class FirmwareBase : public IFirmware, public std::enable_shared_from_this<FirmwareBase> {
public:
    explicit FirmwareBase(const std::string& bytes);
    ~FirmwareBase() override;

    bool setData(const std::string& bytes) override;
    void clear() override;
    std::uint32_t getSize() override;
    std::string getData() override;
    // Refuses ("internalPlaying", "busy") before anything is sent; false when the image is not
    // valid or a request could not be queued. The progress reports the acknowledged part of the
    // image, 100 once the closing request and every block were acknowledged, -1 once on a failure.
    bool upgrade(std::function<void(int)> progress) override;
    std::int32_t getProgress() override;
    void bind(const net::IpAndPort& address, std::shared_ptr<TransferProtocol> transport,
              std::weak_ptr<DeviceBase> device) override;

    // "<type> <major>.<minor>.<revision>.<build>[ debug][ [date]]".
    static std::string buildFullTextVersion(const Version& version);

protected:
    // The image's bytes as they are, for the formats' checks.
    std::string bytes();

private:
    // One run of `upgrade`. Completions of an earlier run find another serial and change nothing.
    struct Run {
        std::uint64_t serial = 0;
        // Where the run's requests go, and their group there, which a failure drops and nothing
        // else.
        net::IpAndPort address;
        RequestQueue::Group group = 0;
        bool open = false;
        std::uint32_t total = 0;
        // Requests queued and requests acknowledged; the closing one is among them once queued.
        std::uint32_t queued = 0;
        std::uint32_t acknowledged = 0;
        bool closingQueued = false;
        std::int32_t reported = 0;
    };

    // The requests of a run: the erase, the block at `amount`, and the closing one.
    enum class Step { erase, block, closing };

    std::string closingRequest(std::uint32_t size);
    // The request of a step, made again for its repeat; under the lock.
    std::string requestOf(Step step, std::uint32_t amount);
    // Writes the digits of the image's block at `offset` into `hex`, reusing its room, and returns
    // the block's length in bytes; under the lock.
    std::uint32_t blockDigits(std::uint32_t offset, std::string& hex) const;
    // Queues one request of the update `serial`, unless that update has ended; every request of
    // an update goes to the device it began with.
    bool queue(const net::IpAndPort& address, TransferProtocol& transport, std::uint64_t serial, Step step,
               const std::string& request, std::uint32_t amount, unsigned intervalMs);
    void upgradeFirmwareCallback(std::uint64_t serial, Step step, const std::string& reply, bool replied,
                                 std::uint32_t amount);
    // Ends the run at -1 unless it has ended; the progress hears of it once.
    void fail(std::unique_lock<std::recursive_mutex>& lock, std::uint64_t serial, const std::string& reply);
    // Ends the run at 100 and reboots the device; under the lock, as every completion.
    void complete();

    // Guards the image, the position, the progress callback and the run; held by every
    // completion for its whole run, so that completions never overlap.
    std::recursive_mutex bufferLock_;
    std::string image_;
    std::uint32_t position_ = 0;
    std::atomic<std::int32_t> progress_{100};
    std::atomic<bool> stopped_{false};
    std::function<void(int)> progressCallback_;
    Run run_;
    std::uint64_t lastSerial_ = 0;

    net::IpAndPort address_;
    std::weak_ptr<DeviceBase> device_;
    std::shared_ptr<TransferProtocol> transport_;
};

}  // namespace device
