#pragma once
// The equalizer of the later loudspeaker generations: six bands of -10 to 0 and an on/off switch
// that is set by a command of its own. The firmware before generation 12 takes ten values, the
// last four 0, and no band below -6.

#include <array>
#include <cstdint>
#include <string>

#include "devices/IEqualizer.h"

namespace device::vkb {

class Equalizer : public IEqualizer {
public:
    static constexpr std::uint32_t bandCount = 6;

    // All bands 0.
    Equalizer(bool enabled, bool legacyFormat);

    // The bands of a "get eqd" reply: whole numbers joined by ':', read in turn and from the
    // first again while bands remain; each is corrected into range. exception::ExternalError
    // "Неправильный формат эквалайзера": with "Неправильное количество полос эквалайзера" when
    // the reply is empty or ends on ':', with the reply when a piece is no whole number or there
    // are too many.
    static Equalizer fromReply(const std::string& reply, bool enabled, bool legacyFormat);

    bool setEnabled(bool on) override;
    bool isEnabled() const override { return enabled_; }
    // "set eqd " and the bands joined by ':'.
    std::string toCommand() const override;
    std::shared_ptr<IEqualizer> clone() const override;
    // Needs the command texts in order and this switch off while the other's is on.
    bool operator<(const IEqualizer& other) const override;
    // Needs equal command texts and equal switches.
    bool operator==(const IEqualizer& other) const override;
    bool operator!=(const IEqualizer& other) const override;

    // A band number above 5 is logged and changes nothing.
    void setBands(std::uint32_t band, const int& value);
    // The value within -10..0; one outside is logged and moved to the nearest end.
    static int correctValue(const int& value);

    const std::array<std::int8_t, bandCount>& getBands() const { return bands_; }
    bool isLegacyFormat() const { return legacyFormat_; }

private:
    std::array<std::int8_t, bandCount> bands_{};
    bool enabled_;
    bool legacyFormat_;
};

}  // namespace device::vkb
