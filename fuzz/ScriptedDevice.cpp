#include "ScriptedDevice.h"

#include <cstring>

#include "devicelink/DeviceReply.h"
#include "foundation/ScanFields.h"
#include "foundation/ThreadDispatcher.h"
#include "support/EmulatorText.h"

namespace fuzz {
namespace {

// Addresses 127.0.0.2 to 127.0.0.250 in turn; 127.0.0.1 is the transport's.
constexpr int kFirstHost = 2;
constexpr int kHosts = 249;
constexpr int kSlowReplies = 4;

std::uint16_t devicePort() {
    static const std::uint16_t port = test::freeUdpPort();
    return port;
}

}  // namespace

const std::shared_ptr<device::TransferProtocol>& ScriptedDevice::transport() {
    static const std::shared_ptr<device::TransferProtocol> running = [] {
        base::ThreadDispatcher::create();
        auto made = std::make_shared<device::TransferProtocol>(devicePort(), "127.0.0.1");
        made->run();
        return made;
    }();
    return running;
}

std::unique_ptr<ScriptedDevice> ScriptedDevice::next(std::size_t flashSize, test::AudioFlash::Words words) {
    static int host = 0;
    host = (host + 1) % kHosts;
    return std::make_unique<ScriptedDevice>("127.0.0." + std::to_string(kFirstHost + host), flashSize, words);
}

ScriptedDevice::ScriptedDevice(const std::string& ip, std::size_t flashSize, test::AudioFlash::Words words)
    : EmulatedDevice(ip, devicePort(), DeferredStart{}), flash_(*this, flashSize, words) {
    // The flash that erases before it writes refuses to program a byte twice, as a real one does.
    flash_.flash().setStrict(words == test::AudioFlash::Words::voice);
    // Every other command is refused at once rather than left to time out.
    on("",
       [](const std::string& command) { return std::optional<std::string>(test::unknownCommand(command)); });
    startServing();
}

ScriptedDevice::~ScriptedDevice() {
    stopServing();
}

void ScriptedDevice::setScript(std::vector<std::string> replies) {
    std::lock_guard<std::mutex> guard(scriptLock_);
    script_ = std::move(replies);
    given_ = 0;
    slowLeft_ = kSlowReplies;
}

std::size_t ScriptedDevice::repliesGiven() const {
    std::lock_guard<std::mutex> guard(scriptLock_);
    return given_;
}

bool ScriptedDevice::isSuccessAnswer(const std::string& reply) {
    for (const char* word : {"OK", "SUCCESS"}) {
        const std::size_t length = std::strlen(word);
        if (reply.compare(0, length, word) != 0) continue;
        if (reply.size() == length || std::strchr("[: \t\r\n\v\f", reply[length]) != nullptr) return true;
    }
    return false;
}

std::optional<std::string> ScriptedDevice::handle(const std::string& command) {
    std::optional<std::string> scripted;
    {
        std::lock_guard<std::mutex> guard(scriptLock_);
        if (given_ < script_.size()) scripted = script_[given_++];
        const bool slow = scripted && (device::DeviceReply::isBusy(*scripted) ||
                                       !device::DeviceReply::echoes(*scripted, command) ||
                                       (command.find("IsReady") != std::string::npos &&
                                        base::scan::containsIgnoringCase(*scripted, "off")));
        if (slow && slowLeft_-- <= 0) scripted.reset();
    }
    // An empty entry lets the device answer for itself.
    if (!scripted || scripted->empty()) return EmulatedDevice::handle(command);
    if (isSuccessAnswer(*scripted)) EmulatedDevice::handle(command);
    return scripted;
}

}  // namespace fuzz
