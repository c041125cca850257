#pragma once
// Emulated loudspeakers at 127.0.0.2, 127.0.0.3, ... with the hardware addresses
// 02:7E:41:00:00:01, ... in order, each sending its status packet to the head-end twice a second
// until it is silenced; consoles join them at 127.0.0.101, ... with 02:7E:41:00:01:01, ...

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "support/ConsoleEmulator.h"
#include "support/LoudspeakerEmulator.h"

namespace test {

class LoudspeakerGroup {
public:
    // The head-end listens at 127.0.0.1 on `port`, which the loudspeakers use too.
    explicit LoudspeakerGroup(std::uint16_t port);
    ~LoudspeakerGroup();
    LoudspeakerGroup(const LoudspeakerGroup&) = delete;
    LoudspeakerGroup& operator=(const LoudspeakerGroup&) = delete;

    // Loudspeakers of one firmware generation.
    void add(int count, device::VokarVersion generation = device::vokarV3_A110);
    void addConsole();
    // Takes the loudspeaker at `index` off the network or puts it back: while silent it sends no
    // status packets and answers nothing.
    void silence(int index, bool silent);
    LoudspeakerEmulator& emulator(int index);

    LoudspeakerEmulator& loudspeaker(int index);
    ConsoleEmulator& console(int index);

private:
    const std::uint16_t port_;
    std::mutex lock_;
    std::vector<std::unique_ptr<LoudspeakerEmulator>> loudspeakers_;
    std::vector<bool> silent_;
    std::vector<std::unique_ptr<ConsoleEmulator>> consoles_;
    std::atomic<bool> stopping_{false};
    std::thread sender_;
};

}  // namespace test
