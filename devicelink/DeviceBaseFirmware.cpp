// The device base's side of a firmware update: taking the images of a collection one after
// the other and telling the caller the progress of the whole update.

#include <algorithm>

#include "devicelink/DeviceBase.h"
#include "devicelink/IFirmware.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device {
namespace {

bool running(const std::shared_ptr<IFirmware>& image) {
    if (!image) return false;
    const std::int32_t progress = image->getProgress();
    return progress >= 0 && progress < 100;
}

}  // namespace

bool DeviceBase::upgradeFirmware(std::shared_ptr<IFirmwareCollection> collection,
                                 UpgradeProgressCallback callback, bool force) {
    const debug::Place place("device::DeviceBase::upgradeFirmware");
    debug::throwIfFalse(collection != nullptr, "device::DeviceBase::upgradeFirmware");
    if (!force) {
        if (collection->empty() || !collection->front()->isValid()) {
            place.warn(L"Прошивка не прошла проверку");
            throw exception::UserResponse(L"incorrectFirmware", L"Прошивки не найдены в коллекции!");
        }
        for (const std::shared_ptr<IFirmware>& image : collection->images()) {
            if (!checkUpgradePossibility(image))
                throw exception::UserResponse(L"wrongVersion", L"Прошивка не соответствует устройству.");
        }
    }

    std::shared_ptr<IFirmware> image;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        // Two images written into one device at once would spoil each other.
        if (running(firmware_)) throw exception::UserResponse(L"busy", L"");
        image = collection->front();
        collection->popFront();
        firmware_ = image;
        upgradeQueue_ = collection;
        upgradeCallback_ = callback;
    }
    const net::IpAndPort address = getAddress();
    image->bind(address, protocol_, getThisBasePtr());
    place.info(L"Upgrade '%1%' Firmware", image->getModelName());

    const std::weak_ptr<DeviceBase> self = getThisBasePtr();
    bool started = false;
    try {
        started = image->upgrade([self, callback](int) {
            if (!callback) return;
            const std::shared_ptr<DeviceBase> device = self.lock();
            if (!device) {
                debug::Place("device::DeviceBase::upgradeFirmware").error(L"Ошибка блокировки устройства");
                return;
            }
            callback(device, device->getProgressOfUpgrading());
        });
    } catch (...) {
        // The images after one that was never written must not follow it on the next restart.
        clearUpgradeQueue();
        throw;
    }
    if (!started) clearUpgradeQueue();
    place.info(L"Upgrade %1%, id '%2%', ip '%3%'", started ? "is started" : "has an error", id_,
               address.getText());
    return started;
}

std::int32_t DeviceBase::getProgressOfUpgrading() {
    std::shared_ptr<IFirmwareCollection> queue;
    std::shared_ptr<IFirmware> image;
    std::int64_t total = 1;
    std::int64_t done = 1;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        queue = upgradeQueue_;
        image = firmware_;
        if (queue) {
            total = queue->count();
            done = total - static_cast<std::int64_t>(queue->size());
        }
    }
    if (total <= 0) {
        debug::Place("device::DeviceBase::getProgressOfUpgrading")
            .warn(L"Ошибка расчёта прогресса обновления");
        return -1;
    }
    const std::int64_t current = image ? image->getProgress() : 100;
    if (current == -1) return -1;
    // The images before the running one are done; it counts for its share.
    std::int64_t percent = std::max<std::int64_t>(done * 100 - 100, 0) / total + current / total;
    if (percent == 99 && current == 100) percent = 100;
    return static_cast<std::int32_t>(std::min<std::int64_t>(percent, 100));
}

void DeviceBase::clearUpgradeQueue() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (upgradeQueue_) upgradeQueue_->clear();
}

}  // namespace device
