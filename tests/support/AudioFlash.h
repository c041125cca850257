#pragma once
// The audio memory of an emulated device: its flash and the commands that read, erase, program
// and play it, in the "voice" words of current devices or the "a" words of the first
// loudspeakers, which have no erase and no readiness query. It answers on the device it is
// attached to; its state lives as long as the device's handlers.

#include <cstdint>
#include <memory>
#include <string>

#include "support/DeviceEmulator.h"
#include "support/EmulatedFlash.h"

namespace test {

class AudioFlash {
public:
    enum class Words { voice, older };

    // Registers the commands on `device` with a flash of `size` bytes.
    AudioFlash(EmulatedDevice& device, std::size_t size, Words words = Words::voice);

    // Whether a command is one of the audio memory's, of either command set.
    static bool isMemoryCommand(const std::string& command);

    EmulatedFlash& flash();
    // After an erase the device answers "voiceMemIsReady" with "off" this many times; -1 for
    // ever.
    void setBusyAfterErase(int polls);
    // What "voiceMemSize" answers, when it should not be the flash's size.
    void setReportedSize(const std::string& reply);
    bool playing() const;
    void setPlaying(bool playing);
    // What "voicePlaySc" answers, when the scenario should not start at once.
    void setScenarioReply(const std::string& payload);
    int eraseCount() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace test
