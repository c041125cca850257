#include "devices/TribelInfo.h"

#include <limits>
#include <mutex>

#include "devicelink/DeviceReply.h"
#include "devicelink/IFirmware.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

constexpr std::int64_t testDurationUs = 20000000;
constexpr std::int32_t highestVolume = 100;

}  // namespace

TribelInfo::TribelInfo(std::uint32_t id, const net::HardwareAddress& hardwareAddress,
                       const net::IpAndPort& address, const std::wstring& title,
                       std::shared_ptr<TransferProtocol> protocol)
    : ConsoleBase(id, hardwareAddress, address, title, std::move(protocol)) {}

TribelInfo::~TribelInfo() = default;

std::shared_ptr<TribelInfo> TribelInfo::create(std::uint32_t id, DeviceType type,
                                               const net::HardwareAddress& hardwareAddress,
                                               const net::IpAndPort& address, const std::wstring& title,
                                               std::shared_ptr<TransferProtocol> protocol,
                                               StateHandler stateHandler) {
    std::shared_ptr<TribelInfo> device(
        new TribelInfo(id, hardwareAddress, address, title, std::move(protocol)));
    device->setThisBasePtr(device);
    device->setStateHandler(std::move(stateHandler));

    if (isOfKind(type, types::tribelT)) {
        type = types::tribelT;
        device->versionId_.store(0);
    } else if (isOfKind(type, types::tribelTV2)) {
        type = types::tribelTV2;
        device->versionId_.store(3);
    } else {
        device->versionId_.store(3);
        debug::Place("device::TribelInfo::create")
            .important(L"Set unknown Tribel device type='%1%'", toText(type));
    }
    Version version = device->getVersion();
    version.type = type;
    device->setVersion(version);
    return device;
}

void TribelInfo::resetCache() {
    debug::Place("device::TribelInfo::resetCache").trace(L"Reset requested cache for device id=%1%", getId());
    DeviceBase::resetCache();
    std::lock_guard<std::recursive_mutex> guard(mutex());
    config_.reset();
    gongEnabled_.reset();
    gongId_ = noGong;
    state_ = State{};
    passkeyReply_.clear();
    zones_.clear();
    zonesChanged(false);
    testStart_.store(0);
}

std::shared_ptr<TribelInfo> TribelInfo::self() {
    return std::static_pointer_cast<TribelInfo>(getThisBasePtr());
}

bool TribelInfo::checkUpgradePossibility(const std::shared_ptr<IFirmware>& image) {
    return image && acceptsFirmwareFor(image->getVersion().type);
}

bool TribelInfo::acceptsFirmwareFor(DeviceType imageType) const {
    return imageType == getVersion().type;
}

bool TribelInfo::setVolume(std::int32_t) {
    debug::Place("device::TribelInfo::setVolume").trace(L"");
    throw exception::UnsupportedByDevice(L"");
}

bool TribelInfo::hasInternalPlaying() {
    if (!isOnlineAndResponding()) return false;
    std::lock_guard<std::recursive_mutex> guard(mutex());
    return state_.playback != static_cast<std::uint32_t>(TribelPlayback::none);
}

std::wstring TribelInfo::getTypeText() {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    return toText(static_cast<TribelPlayback>(state_.playback)).text;
}

void TribelInfo::handleVolume(const std::string& reply) {
    const debug::Place here("device::TribelInfo::handleVolume");
    here.trace(L"handle volume for device %1%", hardwareAddress_.toCharArray());
    touchLastState();
    std::int64_t level = 0;
    if (!DeviceBase::parseIntValue(reply, level, std::numeric_limits<std::int64_t>::min(),
                                   std::numeric_limits<std::int64_t>::max())) {
        here.warn(L"Response format for Tribel-T is invalid 'get vol': %1%, device '%2%'", reply,
                  hardwareAddress_.toCharArray());
        return;
    }
    if (level < 0 || level > highestVolume) {
        here.notice(L"Incorrect volume of %1% is '%2%'", "Tribel-T", level);
        level = level < 0 ? 0 : highestVolume;
    }
    volume.store(static_cast<std::int32_t>(level));
}

bool TribelInfo::hasFeature(std::size_t flag) const {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    return device::hasFeature(status_, flag);
}

TribelInfo::State TribelInfo::getState() const {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    return state_;
}

std::string TribelInfo::debugInfoRequest(bool) const {
    return "get dbg";
}

std::string TribelInfo::getDebugInfo() {
    return transfer(debugInfoRequest(false));
}

void TribelInfo::startDeviceTest() {
    if (hasInternalPlaying()) throw exception::UserResponse(L"testFailure", L"");
    std::string reply;
    const bool taken = transfer("test", &reply, false);
    if (base::scan::containsIgnoringCase(reply, "Test is going now"))
        throw exception::UserResponse(L"testIsRunning", L"");
    if (!taken) throw exception::UserResponse(L"testFailure", L"");
    testStart_.store(now());
}

bool TribelInfo::isTestRunning() const {
    const std::int64_t start = testStart_.load();
    return start != 0 && now() - start < testDurationUs;
}

}  // namespace device
