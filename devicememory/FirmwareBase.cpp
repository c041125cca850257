#include "devicememory/FirmwareBase.h"

#include <algorithm>
#include <ctime>

#include "devicelink/DeviceBase.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/Checks.h"
#include "foundation/Crc32.h"
#include "foundation/Exceptions.h"
#include "foundation/HexText.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr std::uint32_t kBlockSize = 512;
constexpr int kQueryPriority = 2;
constexpr int kBlockPriority = 1;
constexpr unsigned kIntervalMs = 1000;
constexpr unsigned kEraseIntervalMs = 6000;
// The closing request of a format without a finish command: any answer the device gives to it says
// that it has taken the blocks before.
constexpr const char* kClosingQuery = "get vol";

const char* const upgradePlace = "device::FirmwareBase::upgrade";
const char* const callbackPlace = "device::FirmwareBase::upgradeFirmwareCallback";

}  // namespace

FirmwareBase::FirmwareBase(const std::string& bytes) : image_(bytes) {
    // The first Vokar-A format is checked with the standard CRC-32.
    crc32_init();
}

FirmwareBase::~FirmwareBase() = default;

bool FirmwareBase::setData(const std::string& bytes) {
    clear();
    {
        std::lock_guard<std::recursive_mutex> guard(bufferLock_);
        image_ = bytes;
    }
    if (isValid()) return true;
    clear();
    return false;
}

void FirmwareBase::clear() {
    std::lock_guard<std::recursive_mutex> guard(bufferLock_);
    image_.clear();
    position_ = 0;
}

std::uint32_t FirmwareBase::getSize() {
    std::lock_guard<std::recursive_mutex> guard(bufferLock_);
    return static_cast<std::uint32_t>(image_.size());
}

std::string FirmwareBase::getData() {
    std::lock_guard<std::recursive_mutex> guard(bufferLock_);
    return image_;
}

std::string FirmwareBase::bytes() {
    return getData();
}

std::int32_t FirmwareBase::getProgress() {
    return progress_.load();
}

void FirmwareBase::bind(const net::IpAndPort& address, std::shared_ptr<TransferProtocol> transport,
                        std::weak_ptr<DeviceBase> device) {
    std::lock_guard<std::recursive_mutex> guard(bufferLock_);
    address_ = address;
    transport_ = std::move(transport);
    device_ = std::move(device);
}

std::string FirmwareBase::buildFullTextVersion(const Version& version) {
    std::uint64_t fourth = version.build;
    std::string date;
    if (version.buildTime != 0) {
        if (version.build != 0 || version.buildTime >= 255) {
            const std::time_t time = static_cast<std::time_t>(version.buildTime);
            std::tm local{};
            // A stamp of an image beyond any calendar year has no date: the image is still read.
            if (localtime_r(&time, &local) != nullptr) {
                char text[32];
                const std::size_t written = std::strftime(text, sizeof text, " [%Y-%m-%d %H:%M:%S]", &local);
                date.assign(text, written);
            }
        } else {
            // A build number stored where the build time would be.
            fourth = static_cast<std::uint64_t>(version.buildTime) & 0xFFFF;
        }
    }
    return toText(version.type) + " " + std::to_string(version.major) + "." + std::to_string(version.minor) +
           "." + std::to_string(version.revision) + "." + std::to_string(fourth) +
           (version.debug ? " debug" : "") + date;
}

// ---------------------------------------------------------------------------------------------
// The update.

bool FirmwareBase::upgrade(std::function<void(int)> progress) {
    const debug::Place place(upgradePlace);
    std::shared_ptr<DeviceBase> device;
    net::IpAndPort address;
    std::shared_ptr<TransferProtocol> transport;
    {
        std::lock_guard<std::recursive_mutex> guard(bufferLock_);
        device = device_.lock();
        address = address_;
        transport = transport_;
    }
    if (device && device->hasInternalPlaying()) throw exception::UserResponse(L"internalPlaying", L"");
    place.trace(L"Upgrade '%1%' firmware", getModelName());

    std::unique_lock<std::recursive_mutex> lock(bufferLock_);
    std::int32_t failed = -1;
    progress_.compare_exchange_strong(failed, 100);
    if (progress_.load() < 100) throw exception::UserResponse(L"busy", L"");
    if (!isValid()) {
        place.warn(L"Файл прошивки некорректен.");
        return false;
    }
    debug::throwIfFalse(transport != nullptr, upgradePlace);
    const auto size = static_cast<std::uint32_t>(image_.size());

    const std::string sizeCommand = getMemorySizeCommand();
    if (!sizeCommand.empty()) {
        std::string reply;
        const bool answered = transport->sync(address, sizeCommand, reply, kQueryPriority, kIntervalMs);
        debug::terminateIfNull(device, upgradePlace);
        std::uint32_t memorySize = 0;
        // A bare number answers as well; the number itself is what is checked.
        if (!answered || !device->readAnswer(reply) ||
            !DeviceBase::parseIntValue(reply, memorySize, 0, 0xFFFFFFFF)) {
            place.mark(L"Got unexpected response with memory size '%1%'", reply);
            throw exception::UnexpectedResponseOfDevice("");
        }
        if (memorySize < size) {
            place.mark(L"There are sizes: firmware memory size = %1%, buffer size = %2%", memorySize, size);
            throw exception::UserError(L"", L"The file size is larger than the device memory");
        }
    }

    const std::uint64_t serial = ++lastSerial_;
    run_ = Run{};
    run_.serial = serial;
    run_.address = address;
    run_.group = transport->newGroup();
    run_.open = true;
    run_.total = size;
    stopped_ = false;
    progress_ = 0;
    progressCallback_ = std::move(progress);
    // Every update sends the whole image, also one that follows a failed update.
    position_ = 0;
    lock.unlock();

    bool result = true;
    const std::string erase = getEraseCommand();
    if (!erase.empty()) result = queue(address, *transport, serial, Step::erase, erase, 0, kEraseIntervalMs);
    std::string hex;
    while (result && !stopped_.load()) {
        std::uint32_t offset = 0;
        std::uint32_t count = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(bufferLock_);
            if (position_ >= image_.size()) break;
            offset = position_;
            count = blockDigits(offset, hex);
            position_ += count;
        }
        result = queue(address, *transport, serial, Step::block,
                       getProgramCommand(offset, count, hex.c_str()), offset, kIntervalMs);
    }
    if (result && !stopped_.load()) {
        // A format without a closing command ends with a request that the device answers once
        // it took the last block.
        result = queue(address, *transport, serial, Step::closing, closingRequest(size), size, kIntervalMs);
        if (result) return true;
    }

    // A run that a failure ended meanwhile has dropped its requests already.
    place.debug(L"Upgrade stopped. (ip=%1%)", address.getText());
    lock.lock();
    fail(lock, serial, std::string());
    return result;
}

std::string FirmwareBase::closingRequest(std::uint32_t size) {
    const std::string finish = getFinishCommand(size);
    return finish.empty() ? std::string(kClosingQuery) : finish;
}

std::string FirmwareBase::requestOf(Step step, std::uint32_t amount) {
    if (step == Step::erase) return getEraseCommand();
    if (step == Step::closing) return closingRequest(amount);
    std::string hex;
    const std::uint32_t count = blockDigits(amount, hex);
    return getProgramCommand(amount, count, hex.c_str());
}

std::uint32_t FirmwareBase::blockDigits(std::uint32_t offset, std::string& hex) const {
    const std::size_t left = offset < image_.size() ? image_.size() - offset : 0;
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(kBlockSize, left));
    // The digits are made straight from the image.
    hex.resize(2 * count + 1);
    hex.resize(base::toHex(hex.data(), hex.size(), image_.data() + offset, count));
    return count;
}

bool FirmwareBase::queue(const net::IpAndPort& address, TransferProtocol& transport, std::uint64_t serial,
                         Step step, const std::string& request, std::uint32_t amount, unsigned intervalMs) {
    // Queued under the lock that a failure takes to end the run: the failure comes either before,
    // and nothing is queued, or after, and drops the request with the run's others.
    std::lock_guard<std::recursive_mutex> guard(bufferLock_);
    if (!run_.open || run_.serial != serial) return true;
    ++run_.queued;
    run_.closingQueued = run_.closingQueued || step == Step::closing;
    const std::weak_ptr<FirmwareBase> self = weak_from_this();
    return transport.async(
        address, request,
        [self, serial, step, amount](const std::string& reply, bool replied) {
            if (const std::shared_ptr<FirmwareBase> image = self.lock())
                image->upgradeFirmwareCallback(serial, step, reply, replied, amount);
        },
        kBlockPriority, intervalMs, run_.group);
}

void FirmwareBase::upgradeFirmwareCallback(std::uint64_t serial, Step step, const std::string& reply,
                                           bool replied, std::uint32_t amount) {
    const debug::Place place(callbackPlace);
    std::unique_lock<std::recursive_mutex> lock(bufferLock_);
    if (!run_.open || run_.serial != serial || stopped_.load()) {
        place.debug(L"firmware upgrade (stub), rate %1%", amount);
        return;
    }
    try {
        const std::shared_ptr<DeviceBase> device = device_.lock();
        if (!replied) place.error(L"firmware upgrade: no response from device");
        bool accepted = false;
        if (device && replied) {
            std::string text = reply;
            // A device still busy with an earlier command has not taken this one, and only its
            // success answer says that it did.
            accepted = reply.find(kBusyReply) == std::string::npos && device->handleResponse(text);
            if (!accepted) {
                place.debug(L"Repeat the request...");
                // Made again rather than kept with every block: an image's requests are its size twice over.
                const std::string request = requestOf(step, amount);
                // A block or a finish command is acknowledged only by the success answer; the closing
                // query by any answer that is no error, as the device's own exchange takes it.
                accepted = request == kClosingQuery ? device->transfer(request, nullptr, false)
                                                    : device->transferAcknowledged(request);
                if (!accepted) place.warn(L"Устройство вернуло ошибку '%1%'. Прошивка не записана.", reply);
            }
        }
        if (!accepted) {
            fail(lock, serial, reply);
            return;
        }
        device->touchLastState();
        if (run_.total == 0) {
            place.error(L"amount == 0");
            return;
        }
        ++run_.acknowledged;
        if (run_.closingQueued && run_.acknowledged == run_.queued) {
            complete();
            return;
        }
        // The closing reply may be handled before a block whose repeat came later: the progress
        // stays below 100 until everything is acknowledged, and never goes back.
        const auto percent =
            static_cast<std::int32_t>(std::min<std::uint64_t>(std::uint64_t{amount} * 100 / run_.total, 99));
        run_.reported = std::max(run_.reported, percent);
        progress_ = run_.reported;
        place.debug(L"firmware upgrade, rate %1%, percent %2%%%", amount, run_.reported);
        if (progressCallback_) progressCallback_(run_.reported);
    } catch (const std::exception& error) {
        place.error(L"%1%", exception::textOf(error));
        if (!lock.owns_lock()) lock.lock();
        fail(lock, serial, reply);
    }
}

void FirmwareBase::complete() {
    run_.open = false;
    progress_ = 100;
    const std::function<void(int)> callback = std::move(progressCallback_);
    progressCallback_ = nullptr;
    const std::shared_ptr<DeviceBase> device = device_.lock();
    if (callback) callback(100);
    debug::Place(callbackPlace).info(L"Upgrade is complete (sent 100%%)");
    if (!device) return;
    try {
        device->reboot();
    } catch (const exception::Base& error) {
        debug::Place(callbackPlace).error(L"%1%", error.what());
    }
}

void FirmwareBase::fail(std::unique_lock<std::recursive_mutex>& lock, std::uint64_t serial,
                        const std::string& reply) {
    if (!run_.open || run_.serial != serial) return;
    run_.open = false;
    stopped_ = true;
    progress_ = -1;
    const std::function<void(int)> callback = std::move(progressCallback_);
    progressCallback_ = nullptr;
    const net::IpAndPort address = run_.address;
    const RequestQueue::Group group = run_.group;
    const std::shared_ptr<DeviceBase> device = device_.lock();
    const std::shared_ptr<TransferProtocol> transport = transport_;
    lock.unlock();

    // Dropped before the end is reported: once the caller hears of it, nothing of the update but
    // the request already in flight reaches the device. What other callers queued for the device
    // stays queued.
    if (device) device->clearUpgradeQueue();
    if (transport) transport->eraseQueue(address, group);
    if (callback) callback(-1);
    const debug::Place place(callbackPlace);
    place.error(L"Ошибка обновления. IP адрес %1%, ответ '%2%'.", address.getText(), reply);
    if (reply.find("Version major error") != std::string::npos)
        place.error(L"Данная версия прошивки не подходит к устройству");
}

}  // namespace device
