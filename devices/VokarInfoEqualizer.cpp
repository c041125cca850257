// The tone equalizer of a loudspeaker: read in the form of its firmware generation, cached, and
// written when it changed.

#include <mutex>
#include <optional>

#include "devices/VkaEqualizer.h"
#include "devices/VkbEqualizer.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

constexpr const char* setPlace = "device::VokarInfo::setEqualizer";
constexpr int equalizerRepeats = 2;
constexpr unsigned equalizerIntervalMs = 1000;
// The firmware before generation 12 takes four more band values than it has.
constexpr const char* legacyPadding = ":0:0:0:0";

}  // namespace

std::shared_ptr<IEqualizer> VokarInfo::getEqualizer() {
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (equalizer_) return equalizer_->clone();
    }
    std::shared_ptr<IEqualizer> equalizer = readEqualizer(getVersionId());
    std::lock_guard<std::recursive_mutex> guard(mutex());
    equalizer_ = equalizer;
    return equalizer_->clone();
}

std::shared_ptr<IEqualizer> VokarInfo::readEqualizer(VokarVersion version) {
    if (version >= vokarA_3_00_01) {
        const bool enabled = base::scan::containsIgnoringCase(transfer("get eq"), "on");
        const std::string bands = transfer("get eqd");
        return std::make_shared<vkb::Equalizer>(
            vkb::Equalizer::fromReply(bands, enabled, version < vokarB_1_01_63));
    }
    std::string raw;
    if (!protocol_->sync(getAddress(), "get eq", raw, equalizerRepeats, equalizerIntervalMs))
        throw exception::UnexpectedResponseOfDevice("");
    std::string reply = raw;
    const std::optional<std::uint16_t> word =
        readAnswer(reply) ? vka::Equalizer::parseWord(reply) : std::optional<std::uint16_t>();
    if (!word) {
        debug::Place("device::VokarInfo::getEqualizer")
            .warn(L"Значение эквалайзера прибора Вокар-A некорректно.");
        throw exception::UnexpectedResponseOfDevice("");
    }
    return std::make_shared<vka::Equalizer>(*word);
}

bool VokarInfo::setEqualizer(const std::shared_ptr<IEqualizer>& equalizer) {
    const debug::Place here(setPlace);
    std::shared_ptr<IEqualizer> cached;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        cached = equalizer_;
    }
    if (!cached) {
        getEqualizer();
        std::lock_guard<std::recursive_mutex> guard(mutex());
        cached = equalizer_;
    }
    if (!equalizer || !cached) {
        here.error(L"Значение эквалайзера отсутствует! (%1%,%2%)", equalizer != nullptr, cached != nullptr);
        throw exception::ServerError();
    }
    if (*equalizer == *cached) {
        here.debug(L"Skip changing equalizer due to no differences");
        return true;
    }

    const VokarVersion version = getVersionId();
    std::string command = equalizer->toCommand();
    if (version >= vokarA_3_00_01 && version < vokarB_1_01_63) command += legacyPadding;
    bool done = transfer(command, nullptr, false);
    if (done && version >= vokarA_3_00_01 && equalizer->isEnabled() != cached->isEnabled()) {
        done = transfer(equalizer->isEnabled() ? "set eq on" : "set eq off", nullptr, false);
        here.trace(L"Equalizer is %1% (Result is %2%)", equalizer->isEnabled() ? "enabled" : "disabled",
                   done ? "success" : "failure");
    }
    {
        // After a failed exchange the loudspeaker may have taken the bands but not the switch, or
        // all of it without the answer coming back: the next read asks it.
        std::lock_guard<std::recursive_mutex> guard(mutex());
        equalizer_ = done ? equalizer->clone() : nullptr;
    }
    here.trace(L"Set equalizer (result: %1%), device %2%, value %3%", done ? "true" : "false",
               hardwareAddress_.toCharArray(), command);
    return done;
}

}  // namespace device
