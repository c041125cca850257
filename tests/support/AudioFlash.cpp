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

namespace {

// The command words of one command set; the older one has no erase and no readiness query.
struct CommandWords {
    std::string size;
    std::string read;
    std::string program;
    std::string erase;
    std::string ready;
    std::string isPlaying;
    std::string play;
    std::string playScenario;
    std::string stop;
};

const CommandWords voiceWords{"voiceMemSize",  "voiceMemRead",    "voiceMemProgram",
                              "voiceMemErase", "voiceMemIsReady", "voiceIsPlaying",
                              "voicePlay",     "voicePlaySc",     "voiceStop"};
const CommandWords olderWords{"aflashsz", "aflashrd", "aflash",  "",     "",
                              "aisplay",  "aplay",    "aplaysc", "astop"};

}  // namespace

AudioFlash::AudioFlash(EmulatedDevice& device, std::size_t size, Words set)
    : state_(std::make_shared<State>(size)) {
    const std::shared_ptr<State> state = state_;
    const CommandWords& words = set == Words::voice ? voiceWords : olderWords;
    device.on(words.size, [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        return okReply(
            command, state->reportedSize.empty() ? std::to_string(state->flash.size()) : state->reportedSize);
    });
    device.on(words.read + " ",
              [state, word = words.read](const std::string& command) -> std::optional<std::string> {
                  std::string_view rest = std::string_view(command).substr(word.size() + 1);
                  std::uint64_t address = 0;
                  std::uint64_t count = 0;
                  if (!readArgument(rest, address, 16) || !readArgument(rest, count, 10) || count > 512)
                      return errorReply(word, "bad arguments");
                  const std::optional<std::string> bytes = state->flash.read(address, count);
                  if (!bytes) return errorReply(word, "out of range");
                  return okReply(word, base::toHex(bytes->data(), bytes->size()));
              });
    device.on(words.program + " ",
              [state, word = words.program](const std::string& command) -> std::optional<std::string> {
                  return state->flash.program(word, std::string_view(command).substr(word.size()));
              });
    if (!words.erase.empty()) {
        device.on(words.erase, [state](const std::string& command) -> std::optional<std::string> {
            state->flash.erase();
            std::lock_guard<std::mutex> guard(state->lock);
            ++state->erases;
            state->busyPolls = state->busyAfterErase;
            return okReply(command, "");
        });
        device.on(words.ready, [state](const std::string& command) -> std::optional<std::string> {
            std::lock_guard<std::mutex> guard(state->lock);
            if (state->busyPolls == 0) return okReply(command, "on");
            if (state->busyPolls > 0) --state->busyPolls;
            return okReply(command, "off");
        });
    }
    device.on(words.isPlaying, [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        return okReply(command, state->playing ? "on" : "off");
    });
    const auto play = [state](const std::string& word, bool scenario) {
        return [state, word, scenario](const std::string&) -> std::optional<std::string> {
            std::lock_guard<std::mutex> guard(state->lock);
            if (scenario && !state->scenarioReply.empty()) return okReply(word, state->scenarioReply);
            state->playing = true;
            return okReply(word, "");
        };
    };
    device.on(words.play + " ", play(words.play, false));
    device.on(words.playScenario + " ", play(words.playScenario, true));
    device.on(words.stop, [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        if (!state->playing) return okReply(command, "Already stopped!");
        state->playing = false;
        return okReply(command, "");
    });
}

bool AudioFlash::isMemoryCommand(const std::string& command) {
    const std::string word = command.substr(0, command.find(' '));
    for (const CommandWords* words : {&voiceWords, &olderWords}) {
        for (const std::string* known :
             {&words->size, &words->read, &words->program, &words->erase, &words->ready, &words->isPlaying,
              &words->play, &words->playScenario, &words->stop}) {
            if (!known->empty() && word == *known) return true;
        }
    }
    return false;
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
