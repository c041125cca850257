#include "support/LoudspeakerGroup.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace test {

LoudspeakerGroup::LoudspeakerGroup(std::uint16_t port) : port_(port) {
    sender_ = std::thread([this] {
        std::unique_lock<std::mutex> guard(lock_);
        while (!stopping_) {
            if (!held_) {
                for (std::size_t i = 0; i < loudspeakers_.size(); ++i) {
                    if (!silent_[i]) loudspeakers_[i]->sendStatus(net::IpAndPort("127.0.0.1", port_));
                }
                for (const auto& console : consoles_) console->sendStatus(net::IpAndPort("127.0.0.1", port_));
            }
            // Let go, the packets go at once.
            const bool wasHeld = held_;
            wake_.wait_for(guard, std::chrono::milliseconds(500),
                           [&] { return stopping_ || (wasHeld && !held_); });
        }
    });
}

LoudspeakerGroup::~LoudspeakerGroup() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    sender_.join();
}

void LoudspeakerGroup::hold(bool held) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        held_ = held;
    }
    wake_.notify_all();
}

void LoudspeakerGroup::add(int count, device::VokarVersion generation) {
    std::lock_guard<std::mutex> guard(lock_);
    for (int i = 0; i < count; ++i) {
        const std::size_t number = loudspeakers_.size() + 1;
        char address[18];
        std::snprintf(address, sizeof address, "02:7E:41:00:00:%02zX", number);
        loudspeakers_.push_back(std::make_unique<LoudspeakerEmulator>("127.0.0." + std::to_string(number + 1),
                                                                      port_, address, generation));
        silent_.push_back(false);
    }
}

void LoudspeakerGroup::addConsole() {
    std::lock_guard<std::mutex> guard(lock_);
    const std::size_t number = consoles_.size() + 1;
    char address[18];
    std::snprintf(address, sizeof address, "02:7E:41:00:01:%02zX", number);
    consoles_.push_back(
        std::make_unique<ConsoleEmulator>("127.0.0." + std::to_string(number + 100), port_, address));
}

LoudspeakerEmulator& LoudspeakerGroup::loudspeaker(int index) {
    std::lock_guard<std::mutex> guard(lock_);
    return *loudspeakers_.at(static_cast<std::size_t>(index));
}

ConsoleEmulator& LoudspeakerGroup::console(int index) {
    std::lock_guard<std::mutex> guard(lock_);
    return *consoles_.at(static_cast<std::size_t>(index));
}

void LoudspeakerGroup::silence(int index, bool silent) {
    std::lock_guard<std::mutex> guard(lock_);
    silent_.at(static_cast<std::size_t>(index)) = silent;
    loudspeakers_.at(static_cast<std::size_t>(index))->setSilent(silent);
}

LoudspeakerEmulator& LoudspeakerGroup::emulator(int index) {
    std::lock_guard<std::mutex> guard(lock_);
    return *loudspeakers_.at(static_cast<std::size_t>(index));
}

}  // namespace test
