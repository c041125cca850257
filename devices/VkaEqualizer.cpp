#include "devices/VkaEqualizer.h"

#include <algorithm>
#include <charconv>

#include "foundation/HexText.h"

namespace device::vka {
namespace {

constexpr int fixedBand0 = 15;
constexpr int fixedBand2 = 2;
constexpr int lowestBand0 = 2;

// A nibble as the signed value -8 to 7.
int signedNibble(int nibble) {
    return nibble >= 8 ? nibble - 16 : nibble;
}

}  // namespace

Equalizer::Equalizer(int, int band1, int, int band3) : enabled_(true) {
    bands_[0] = fixedBand0;
    bands_[1] = static_cast<std::int8_t>(std::clamp(band1, 0, 15));
    bands_[2] = fixedBand2;
    const int treble = band3 >= 8 && band3 <= 15 ? signedNibble(band3) : band3;
    bands_[3] = static_cast<std::int8_t>(std::clamp(treble, -8, 7));
}

Equalizer::Equalizer(std::uint16_t word) : enabled_(word != 0) {
    bands_[0] = static_cast<std::int8_t>(std::max(word & 0xF, lowestBand0));
    bands_[1] = static_cast<std::int8_t>((word >> 4) & 0xF);
    bands_[2] = static_cast<std::int8_t>((word >> 8) & 0xF);
    bands_[3] = static_cast<std::int8_t>(signedNibble((word >> 12) & 0xF));
}

std::optional<std::uint16_t> Equalizer::parseWord(const std::string& reply) {
    if (reply.empty() || reply.size() > 4) return std::nullopt;
    std::uint16_t word = 0;
    const char* end = reply.data() + reply.size();
    const auto result = std::from_chars(reply.data(), end, word, 16);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return word;
}

bool Equalizer::setEnabled(bool on) {
    enabled_ = on;
    return enabled_;
}

std::uint16_t Equalizer::word() const {
    if (!enabled_) return 0;
    const auto nibble = [this](int band) { return static_cast<unsigned>(bands_[band]) & 0xFu; };
    return static_cast<std::uint16_t>(nibble(0) | nibble(1) << 4 | nibble(2) << 8 | nibble(3) << 12);
}

std::string Equalizer::toCommand() const {
    const std::uint16_t value = word();
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return "set eq " + base::toHex(bytes, 2);
}

std::shared_ptr<IEqualizer> Equalizer::clone() const {
    return std::make_shared<Equalizer>(*this);
}

bool Equalizer::operator<(const IEqualizer& other) const {
    return toCommand() < other.toCommand();
}

bool Equalizer::operator==(const IEqualizer& other) const {
    return toCommand() == other.toCommand();
}

bool Equalizer::operator!=(const IEqualizer& other) const {
    return !(*this == other);
}

}  // namespace device::vka
