#include "support/LoudspeakerEmulator.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

namespace test {
namespace {

// Version numbers at the start of each generation's range, in generation order.
const char* const generationNumbers[device::vokarVersionCount] = {
    nullptr,  // no firmware reports the unknown generation
    "1.01.69",  "1.01.70",  "1.01.71",  "1.01.71.2", "1.01.72",  "2.00.71.17000", "2.00.71.17105", "2.01.72",
    "1.00.01",  "1.00.56",  "1.00.59",  "1.01.63",   "1.01.69",  "1.02.79",       "1.01.80",       "1.03.110",
    "1.03.111", "1.03.113", "1.03.121", "1.03.125",  "1.03.128", "1.03.131",      "1.03.140",
};

std::string decimal(std::int64_t value) {
    char digits[24];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

std::string hex(std::uint32_t value, int width) {
    char digits[16];
    std::string text(digits, std::to_chars(digits, digits + sizeof digits, value, 16).ptr);
    for (char& c : text) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
    return text;
}

bool parseWhole(std::string_view text, std::int64_t& value, int base = 10) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string okReply(const std::string& command, const std::string& payload) {
    return "OK[" + command + "]: " + payload;
}

LoudspeakerEmulator::LoudspeakerEmulator(const std::string& ip, std::uint16_t port,
                                         const std::string& hardwareAddress, device::VokarVersion generation,
                                         const std::string& model)
    : EmulatedDevice(ip, port),
      hardwareAddress_(hardwareAddress),
      generation_(generation),
      numberCount_(generation >= device::vokarA_3_00_01 ? fullNumberCount : 15) {
    const std::string word = !model.empty() ? model : laterGeneration() ? "Vokar-B" : "Vokar-A";
    versionText_ = word + " " + versionNumbers(generation);
    on("get vol", [this](const std::string& command) { return getVolume(command); });
    on("set vol ", [this](const std::string& command) { return setVolume(command); });
    on("reboot", [this](const std::string& command) { return reboot(command); });
}

LoudspeakerEmulator::~LoudspeakerEmulator() {
    stopServing();
}

std::string LoudspeakerEmulator::versionNumbers(device::VokarVersion generation) {
    if (generation <= device::vokarUnknown || generation >= device::vokarVersionCount) {
        throw std::invalid_argument("no firmware of generation " + std::to_string(generation));
    }
    return generationNumbers[generation];
}

std::string LoudspeakerEmulator::versionText() const {
    std::lock_guard<std::mutex> guard(lock_);
    return versionText_;
}

void LoudspeakerEmulator::setVersionText(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    versionText_ = text;
}

LoudspeakerEmulator::Status LoudspeakerEmulator::status() const {
    std::lock_guard<std::mutex> guard(lock_);
    return status_;
}

void LoudspeakerEmulator::setStatus(const Status& status) {
    std::lock_guard<std::mutex> guard(lock_);
    status_ = status;
}

void LoudspeakerEmulator::setNumberCount(std::size_t count) {
    std::lock_guard<std::mutex> guard(lock_);
    numberCount_ = count > fullNumberCount ? fullNumberCount : count;
}

std::string LoudspeakerEmulator::statusPacket() const {
    std::lock_guard<std::mutex> guard(lock_);
    return makeStatusPacket(hardwareAddress_, status_, numberCount_, versionText_);
}

std::string LoudspeakerEmulator::makeStatusPacket(const std::string& hardwareAddress, const Status& s,
                                                  std::size_t numberCount, const std::string& versionText) {
    // Separator and text of each number, in packet order.
    const std::pair<const char*, std::string> numbers[fullNumberCount] = {
        {",", decimal(s.batteryLevel)},
        {",", decimal(s.batteryState)},
        {",", decimal(s.line1)},
        {",", decimal(s.line2)},
        {",", decimal(s.caseState)},
        {",", decimal(s.playbackState)},
        {",", decimal(s.soundPressure)},
        {",", decimal(s.acPowerSupply)},
        {",", decimal(s.nerida)},
        {",", decimal(s.ain)},
        {",", decimal(s.eth)},
        {",", decimal(s.zone)},
        {",", hex(s.activeZoneAddress, 6)},
        {",", decimal(s.activeAlarmOrder)},
        {",", decimal(s.playbackSource)},
        {";", hex(s.preferenceCrc, 4)},
        {";", decimal(s.channel)},
        {";", decimal(s.amplifierOutput)},
        {";", decimal(s.ledPanel)},
        {";", decimal(s.feedback)},
        {";", decimal(s.inputStreams)},
        {";", decimal(s.selfTest)},
        {";", decimal(s.audioMemoryState)},
        {";", decimal(s.scenarioCount)},
        {";A", decimal(s.apiLevel)},
        {";C", decimal(s.apiCompatibility)},
    };
    std::string packet = hardwareAddress;
    for (std::size_t n = 0; n < numberCount && n < fullNumberCount; ++n) {
        packet += numbers[n].first + numbers[n].second;
    }
    return packet + "," + versionText + "\r\n";
}

bool LoudspeakerEmulator::sendStatus(const net::IpAndPort& to) {
    if (isRebooting()) return false;
    send(statusPacket(), to);
    return true;
}

void LoudspeakerEmulator::setDecibels(std::int32_t level) {
    std::lock_guard<std::mutex> guard(lock_);
    decibels_ = level;
}

std::int32_t LoudspeakerEmulator::decibels() const {
    std::lock_guard<std::mutex> guard(lock_);
    return decibels_;
}

void LoudspeakerEmulator::setChannelBytes(unsigned first, unsigned second) {
    std::lock_guard<std::mutex> guard(lock_);
    firstChannelByte_ = first;
    secondChannelByte_ = second;
}

std::pair<unsigned, unsigned> LoudspeakerEmulator::channelBytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return {firstChannelByte_, secondChannelByte_};
}

void LoudspeakerEmulator::setRebootPause(std::chrono::milliseconds pause) {
    std::lock_guard<std::mutex> guard(lock_);
    rebootPause_ = pause;
}

bool LoudspeakerEmulator::isRebooting() const {
    std::lock_guard<std::mutex> guard(lock_);
    return rebootingLocked();
}

bool LoudspeakerEmulator::rebootingLocked() const {
    return std::chrono::steady_clock::now() < rebootEnds_;
}

int LoudspeakerEmulator::rebootCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return rebootCount_;
}

std::optional<std::string> LoudspeakerEmulator::handle(const std::string& command) {
    if (isRebooting()) return std::nullopt;
    return EmulatedDevice::handle(command);
}

std::optional<std::string> LoudspeakerEmulator::getVolume(const std::string& command) {
    std::lock_guard<std::mutex> guard(lock_);
    if (laterGeneration()) return okReply(command, decimal(decibels_));
    return okReply(command, hex(firstChannelByte_, 2) + ":" + hex(secondChannelByte_, 2));
}

std::optional<std::string> LoudspeakerEmulator::setVolume(const std::string& command) {
    const std::string_view value = std::string_view(command).substr(std::string_view("set vol ").size());
    std::lock_guard<std::mutex> guard(lock_);
    if (laterGeneration()) {
        std::int64_t level = 0;
        if (!parseWhole(value, level) || level > 0 || level < -96) return "ERR[set vol]: bad level";
        decibels_ = static_cast<std::int32_t>(level);
        return okReply("set vol", decimal(level));
    }
    const std::size_t colon = value.find(':');
    std::int64_t first = 0;
    std::int64_t second = 0;
    if (colon != 2 || value.size() != 5 || !parseWhole(value.substr(0, 2), first, 16) ||
        !parseWhole(value.substr(3), second, 16)) {
        return "ERR[set vol]: bad level";
    }
    firstChannelByte_ = static_cast<unsigned>(first);
    secondChannelByte_ = static_cast<unsigned>(second);
    return okReply("set vol", std::string(value));
}

std::optional<std::string> LoudspeakerEmulator::reboot(const std::string& command) {
    std::lock_guard<std::mutex> guard(lock_);
    ++rebootCount_;
    rebootEnds_ = std::chrono::steady_clock::now() + rebootPause_;
    // It comes back with its settings and nothing playing.
    status_.playbackState = 0;
    status_.playbackSource = 0;
    status_.channel = 0;
    status_.feedback = 0;
    status_.selfTest = 0;
    status_.activeZoneAddress = 0;
    return okReply(command, "");
}

}  // namespace test
