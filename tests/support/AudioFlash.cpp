#include "support/AudioFlash.h"

#include <mutex>
#include <string_view>

#include "foundation/HexText.h"
#include "support/LoudspeakerEmulator.h"

namespace test {
namespace {

std::string errorReply(const std::string& word, const std::string& text) {
    return "ERR[" + word + "]: " + text;
}

}  // namespace

struct AudioFlash::State {
    explicit State(std::size_t size) : flash(size) {}
    EmulatedFlash flash;
    mutable std::mutex lock;
    int busyPolls = 0;
    int busyAfterErase = 0;
    int erases = 0;
    bool playing = false;
    std::string reportedSize;
    std::string scenarioReply;
};

AudioFlash::AudioFlash(EmulatedDevice& device, std::size_t size) : state_(std::make_shared<State>(size)) {
    const std::shared_ptr<State> state = state_;
    device.on("voiceMemSize", [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        return okReply(
            command, state->reportedSize.empty() ? std::to_string(state->flash.size()) : state->reportedSize);
    });
    device.on("voiceMemRead ", [state](const std::string& command) -> std::optional<std::string> {
        std::string_view rest = std::string_view(command).substr(std::string_view("voiceMemRead ").size());
        std::uint64_t address = 0;
        std::uint64_t count = 0;
        if (!readArgument(rest, address, 16) || !readArgument(rest, count, 10) || count > 512)
            return errorReply("voiceMemRead", "bad arguments");
        const std::optional<std::string> bytes = state->flash.read(address, count);
        if (!bytes) return errorReply("voiceMemRead", "out of range");
        return okReply("voiceMemRead", base::toHex(bytes->data(), bytes->size()));
    });
    device.on("voiceMemProgram ", [state](const std::string& command) -> std::optional<std::string> {
        return state->flash.program(
            "voiceMemProgram", std::string_view(command).substr(std::string_view("voiceMemProgram").size()));
    });
    device.on("voiceMemErase", [state](const std::string& command) -> std::optional<std::string> {
        state->flash.erase();
        std::lock_guard<std::mutex> guard(state->lock);
        ++state->erases;
        state->busyPolls = state->busyAfterErase;
        return okReply(command, "");
    });
    device.on("voiceMemIsReady", [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        if (state->busyPolls == 0) return okReply(command, "on");
        if (state->busyPolls > 0) --state->busyPolls;
        return okReply(command, "off");
    });
    device.on("voiceIsPlaying", [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        return okReply(command, state->playing ? "on" : "off");
    });
    const auto play = [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        const bool scenario = command.compare(0, 12, "voicePlaySc ") == 0;
        if (scenario && !state->scenarioReply.empty()) return okReply("voicePlaySc", state->scenarioReply);
        state->playing = true;
        return okReply(scenario ? "voicePlaySc" : "voicePlay", "");
    };
    device.on("voicePlay ", play);
    device.on("voicePlaySc ", play);
    device.on("voiceStop", [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        if (!state->playing) return okReply(command, "Already stopped!");
        state->playing = false;
        return okReply(command, "");
    });
}

EmulatedFlash& AudioFlash::flash() {
    return state_->flash;
}

void AudioFlash::setBusyAfterErase(int polls) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->busyAfterErase = polls;
}

void AudioFlash::setReportedSize(const std::string& reply) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->reportedSize = reply;
}

bool AudioFlash::playing() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->playing;
}

void AudioFlash::setPlaying(bool playing) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->playing = playing;
}

void AudioFlash::setScenarioReply(const std::string& payload) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->scenarioReply = payload;
}

int AudioFlash::eraseCount() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->erases;
}

}  // namespace test
