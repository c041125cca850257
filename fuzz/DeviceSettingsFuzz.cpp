// The settings replies of loudspeakers of every generation and of consoles, and the equalizer
// replies: what reads is a record that the checks before a write and the key table take, and
// what does not is refused with the device's error, never with a fault of the program.

#include "FuzzSupport.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceReply.h"
#include "devices/TribelConfig.h"
#include "devices/VkaEqualizer.h"
#include "devices/VkbEqualizer.h"
#include "devices/VokarConfig.h"
#include "foundation/Exceptions.h"

namespace {

template <class Action>
void refusedOrDone(Action action) {
    try {
        action();
    } catch (const exception::ExternalError&) {
        // The record or reply is refused as the device's fault.
    }
}

void readLoudspeaker(device::VokarVersion version, const std::vector<std::string>& replies) {
    device::VokarConfig config;
    if (version <= device::vokarA_2_01_72) {
        if (device::readFirstGenerationConfig(replies[0], replies[1], config) !=
            device::ConfigReplyFault::none)
            return;
    } else {
        std::vector<std::string> tokens = device::DeviceBase::splitResponse(replies[0]);
        if (!device::padStateTokens(tokens, version, replies[1])) return;
        if (device::readStateTokens(tokens, config) != device::ConfigReplyFault::none) return;
    }
    device::AinScenarioIds kept;
    device::resolveAinScenarioIds(config, kept, nullptr);
    device::showSingleInputFirst(config);
    device::keepSingleInputSecond(config);
    refusedOrDone([&] { device::checkConfig(config, version); });
    for (const device::ConfigKey& key : device::configKeys()) key.value(config);
}

void readConsole(std::uint32_t versionId, const std::string& reply) {
    std::vector<std::string> tokens = device::DeviceBase::splitResponse(reply);
    if (!device::padConsoleStateTokens(tokens, versionId)) return;
    device::TribelConfig config;
    if (!device::readConsoleStateTokens(tokens, config)) return;
    refusedOrDone([&] { device::checkConsoleConfig(config); });
    refusedOrDone([&] { device::consolePriorityToSend(config); });
    for (const device::ConsoleConfigKey& key : device::consoleConfigKeys()) key.value(config);
}

void readEqualizers(const std::string& reply) {
    if (const auto word = device::vka::Equalizer::parseWord(reply)) {
        const device::vka::Equalizer equalizer(*word);
        const device::vka::Equalizer again(equalizer.word());
        fuzz::require(again.word() == equalizer.word(), "an equalizer word is kept as it was taken");
    }
    for (const bool legacy : {false, true}) {
        refusedOrDone([&] {
            const auto equalizer = device::vkb::Equalizer::fromReply(reply, true, legacy);
            for (const std::int8_t band : equalizer.getBands())
                fuzz::require(band >= -10 && band <= 0, "an equalizer band lies within its range");
        });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the generation; the rest are replies separated by 0x1F.
    const auto version = static_cast<device::VokarVersion>(1 + data[0] % (device::vokarVersionCount - 1));
    std::vector<std::string> replies = fuzz::pieces(fuzz::text(data + 1, size - 1), '\x1F', 3);
    replies.resize(3);
    readLoudspeaker(version, replies);
    readConsole(data[0] % 4, replies[0]);
    readEqualizers(replies[2]);
    return 0;
}
