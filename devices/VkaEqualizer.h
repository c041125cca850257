#pragma once
// The equalizer of the first loudspeaker generations: four 4-bit bands in one 16-bit word, band 0
// in the lowest bits, band 3 a signed nibble; a disabled equalizer is the word 0.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "devices/IEqualizer.h"

namespace device::vka {

class Equalizer : public IEqualizer {
public:
    // The window's bass (band 1, 0 to 15) and treble (band 3, -8 to 7; 8 to 15 read as the
    // nibble of -8 to -1). Bands 0 and 2 are fixed at 15 and 2 whatever is given for them.
    Equalizer(int band0, int band1, int band2, int band3);
    // The word the loudspeaker reports; band 0 is at least 2.
    explicit Equalizer(std::uint16_t word);

    // The word of a "get eq" reply: one to four hexadecimal digits and nothing else.
    static std::optional<std::uint16_t> parseWord(const std::string& reply);

    bool setEnabled(bool on) override;
    bool isEnabled() const override { return enabled_; }
    // "set eq " and the word in four upper-case hexadecimal digits.
    std::string toCommand() const override;
    std::shared_ptr<IEqualizer> clone() const override;
    // By the command texts.
    bool operator<(const IEqualizer& other) const override;
    bool operator==(const IEqualizer& other) const override;
    bool operator!=(const IEqualizer& other) const override;

    const std::array<std::int8_t, 4>& getBands() const { return bands_; }
    std::uint16_t word() const;

private:
    std::array<std::int8_t, 4> bands_{};
    bool enabled_ = true;
};

}  // namespace device::vka
