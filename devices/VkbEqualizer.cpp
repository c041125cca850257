#include "devices/VkbEqualizer.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "devicelink/DeviceBase.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/TextConversion.h"

namespace device::vkb {
namespace {

constexpr int lowestValue = -10;
constexpr int highestValue = 0;
constexpr int lowestLegacyValue = -6;
// More pieces than this are no equalizer reply, however the firmware pads it.
constexpr std::size_t mostPieces = 16;

}  // namespace

Equalizer::Equalizer(bool enabled, bool legacyFormat) : enabled_(enabled), legacyFormat_(legacyFormat) {}

Equalizer Equalizer::fromReply(const std::string& reply, bool enabled, bool legacyFormat) {
    const auto refuse = [&reply] {
        throw exception::ExternalError(L"Неправильный формат эквалайзера", base::widen(reply));
    };
    std::vector<int> values;
    for (std::size_t start = 0;;) {
        // An empty reply or one that ends on ':' leaves a band with nothing to read.
        if (start >= reply.size())
            throw exception::ExternalError(L"Неправильный формат эквалайзера",
                                           L"Неправильное количество полос эквалайзера");
        const std::size_t colon = reply.find(':', start);
        std::int64_t value = 0;
        if (values.size() == mostPieces ||
            !DeviceBase::parseIntValue(
                reply.substr(start, colon == std::string::npos ? colon : colon - start), value,
                std::numeric_limits<int>::min(), std::numeric_limits<int>::max())) {
            refuse();
        }
        values.push_back(static_cast<int>(value));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    Equalizer equalizer(enabled, legacyFormat);
    for (std::uint32_t band = 0; band < bandCount; ++band)
        equalizer.setBands(band, values[band % values.size()]);
    return equalizer;
}

bool Equalizer::setEnabled(bool on) {
    enabled_ = on;
    return enabled_;
}

std::string Equalizer::toCommand() const {
    std::string command = "set eqd ";
    for (std::uint32_t band = 0; band < bandCount; ++band) {
        const int value = legacyFormat_ ? std::max<int>(bands_[band], lowestLegacyValue) : bands_[band];
        command += (band == 0 ? "" : ":") + base::decimal(value);
    }
    if (legacyFormat_) command += ":0:0:0:0";
    return command;
}

std::shared_ptr<IEqualizer> Equalizer::clone() const {
    return std::make_shared<Equalizer>(*this);
}

bool Equalizer::operator<(const IEqualizer& other) const {
    return toCommand() < other.toCommand() && !enabled_ && other.isEnabled();
}

bool Equalizer::operator==(const IEqualizer& other) const {
    return toCommand() == other.toCommand() && enabled_ == other.isEnabled();
}

bool Equalizer::operator!=(const IEqualizer& other) const {
    return !(*this == other);
}

void Equalizer::setBands(std::uint32_t band, const int& value) {
    if (band >= bandCount) {
        debug::Place("device::vkb::Equalizer::setBands")
            .error(L"Некорректный номер %1% полосы эквалайзера", band);
        return;
    }
    bands_[band] = static_cast<std::int8_t>(correctValue(value));
}

int Equalizer::correctValue(const int& value) {
    const debug::Place here("device::vkb::Equalizer::correctValue");
    if (value < lowestValue) {
        here.external(L"Значение '%1%' эквалайзера меньше минимального", value);
        return lowestValue;
    }
    if (value > highestValue) {
        here.external(L"Значение '%1%' эквалайзера больше максимального", value);
        return highestValue;
    }
    return value;
}

}  // namespace device::vkb
