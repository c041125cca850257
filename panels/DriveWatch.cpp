#include "panels/DriveWatch.h"

#include <pthread.h>

#include <chrono>

#include "audio/Player.h"
#include "foundation/Place.h"
#include "panels/Drives.h"

namespace frm {
namespace {
constexpr auto kPeriod = std::chrono::seconds(1);
}  // namespace

DriveWatch::DriveWatch() : thread_([this] { run(); }) {}

DriveWatch::~DriveWatch() {
    stop();
}

void DriveWatch::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void DriveWatch::run() {
    pthread_setname_np(pthread_self(), "drive watch");
    const debug::Place place("frm::SourceDevicePanel::checkDeviceThread");
    std::vector<Drive> before = presentMedia();
    std::unique_lock<std::mutex> guard(lock_);
    while (!wake_.wait_for(guard, kPeriod, [this] { return stopping_; })) {
        guard.unlock();
        std::vector<Drive> now = presentMedia();
        {
            const base::SingletonSlot<Player>::Use player(Player::instanceSlot());
            const auto playlist = player ? player->getPlaylist() : nullptr;
            const auto item = playlist && player->isPlaying() ? playlist->getCurrentItem() : std::nullopt;
            const auto removed = item ? removedMediumHolding(before, now, item->path) : std::nullopt;
            if (removed) {
                place.error(L"Носитель '%1%' был удален", *removed);
                player->stop(true);
            }
        }
        before = std::move(now);
        guard.lock();
    }
}

}  // namespace frm
