#pragma once
// An emulated device for the fuzz programs that talk to a device: the commands of its audio
// flash are carried out as the emulator does, except that the replies of the input's script
// answer the commands it receives, one each, in turn. A scripted reply carries its command out
// only when it is the device's success answer ("OK" or "SUCCESS" as a word); any other text
// leaves the command undone, as a device that answers garbage has done nothing. Once the script
// is used up the device answers truthfully.
//
// A reply that makes the program wait (the busy text, a reply to another command, "off" to the
// readiness query) costs a second or half of one; only the first few of an input are given, so
// that no input runs into libFuzzer's time limit.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "devicelink/TransferProtocol.h"
#include "support/AudioFlash.h"
#include "support/DeviceEmulator.h"

namespace fuzz {

class ScriptedDevice : public test::EmulatedDevice {
public:
    // The running transport of the program, with the thread dispatcher its completions run on.
    static const std::shared_ptr<device::TransferProtocol>& transport();
    // A device at the next address of a ring of loopback addresses, so that a request of an
    // earlier input still on its way never reaches the device of this one. Its flash answers
    // the command words of `words`.
    static std::unique_ptr<ScriptedDevice> next(std::size_t flashSize, test::AudioFlash::Words words);

    ScriptedDevice(const std::string& ip, std::size_t flashSize, test::AudioFlash::Words words);
    ~ScriptedDevice() override;

    test::AudioFlash& flash() { return flash_; }
    void setScript(std::vector<std::string> replies);
    // How many replies of the script were given.
    std::size_t repliesGiven() const;

    // The device's success answer as the first word of a reply.
    static bool isSuccessAnswer(const std::string& reply);

protected:
    std::optional<std::string> handle(const std::string& command) override;

private:
    test::AudioFlash flash_;
    mutable std::mutex scriptLock_;
    std::vector<std::string> script_;
    std::size_t given_ = 0;
    int slowLeft_ = 0;
};

}  // namespace fuzz
