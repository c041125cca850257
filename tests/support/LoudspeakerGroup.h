#pragma once
// Emulated loudspeakers at 127.0.0.2, 127.0.0.3, ... with the hardware addresses
// 02:7E:41:00:00:01, ... in order, each sending its status packet to the head-end twice a second
// until it is silenced; consoles join them at 127.0.0.101, ... with 02:7E:41:00:01:01, ...

#include <condition_variable>
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
    // Holds the status packets back, or lets them go; while they go, every round sends the
    // loudspeakers' packets in their order, then the consoles'. A head-end that starts listening
    // between two packets of a round learns of the devices in another order; held until it
    // listens, it learns of them in theirs. A group sends from the start.
    void hold(bool held);
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
    bool held_ = false;
    bool stopping_ = false;
    std::condition_variable wake_;
    std::thread sender_;
};

}  // namespace test
