#include "support/LoudspeakerGroup.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace test {

LoudspeakerGroup::LoudspeakerGroup(std::uint16_t port) : port_(port) {
    sender_ = std::thread([this] {
        while (!stopping_.load()) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                for (std::size_t i = 0; i < loudspeakers_.size(); ++i) {
                    if (!silent_[i]) loudspeakers_[i]->sendStatus(net::IpAndPort("127.0.0.1", port_));
                }
                for (const auto& console : consoles_) console->sendStatus(net::IpAndPort("127.0.0.1", port_));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
}

LoudspeakerGroup::~LoudspeakerGroup() {
    stopping_.store(true);
    sender_.join();
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
