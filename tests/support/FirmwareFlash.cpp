#include "support/FirmwareFlash.h"

#include <algorithm>
#include <mutex>
#include <string_view>

#include "foundation/Crc32.h"
#include "support/LoudspeakerEmulator.h"

namespace test {

struct FirmwareFlash::State {
    explicit State(std::size_t size) : flash(size) { flash.setStrict(true); }
    EmulatedFlash flash;
    mutable std::mutex lock;
    std::uint64_t end = 0;
    int erases = 0;
    std::string reportedSize;
};

FirmwareFlash::FirmwareFlash(EmulatedDevice& device, std::size_t size)
    : state_(std::make_shared<State>(size)) {
    const std::shared_ptr<State> state = state_;
    device.on("firmwareSize", [state](const std::string& command) -> std::optional<std::string> {
        std::lock_guard<std::mutex> guard(state->lock);
        return okReply(
            command, state->reportedSize.empty() ? std::to_string(state->flash.size()) : state->reportedSize);
    });
    device.on("firmwareErase", [state](const std::string& command) -> std::optional<std::string> {
        state->flash.erase();
        std::lock_guard<std::mutex> guard(state->lock);
        ++state->erases;
        state->end = 0;
        return okReply(command, "");
    });
    const auto program = [state](const std::string& command) -> std::optional<std::string> {
        const std::string word = command.substr(0, command.find(' '));
        const std::string reply = state->flash.program(word, std::string_view(command).substr(word.size()));
        std::uint64_t address = 0;
        std::uint64_t count = 0;
        std::string_view arguments = std::string_view(command).substr(word.size());
        if (reply == "SUCCESS" && readArgument(arguments, address, 16) &&
            readArgument(arguments, count, 10)) {
            std::lock_guard<std::mutex> guard(state->lock);
            state->end = std::max(state->end, address + count);
        }
        return reply;
    };
    device.on("firmwareProgram ", program);
    device.on("flash ", program);
    device.on("flashNFO ", [state](const std::string& command) -> std::optional<std::string> {
        std::string_view rest = std::string_view(command).substr(std::string_view("flashNFO").size());
        std::uint64_t checksum = 0;
        std::uint64_t size = 0;
        if (!readArgument(rest, checksum, 16) || !readArgument(rest, size, 10))
            return "ERR[flashNFO]: bad arguments";
        const std::optional<std::string> bytes = state->flash.read(0, size);
        if (!bytes || base::crc32(*bytes) != checksum) return "ERR[flashNFO]: checksum";
        return std::string("SUCCESS");
    });
}

EmulatedFlash& FirmwareFlash::flash() {
    return state_->flash;
}

std::string FirmwareFlash::written() const {
    std::uint64_t end = 0;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        end = state_->end;
    }
    return *state_->flash.read(0, end);
}

void FirmwareFlash::setReportedSize(const std::string& reply) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->reportedSize = reply;
}

int FirmwareFlash::eraseCount() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->erases;
}

}  // namespace test
