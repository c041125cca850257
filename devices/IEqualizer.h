#pragma once
// A loudspeaker's tone equalizer as a value that turns itself into the command that sets it. Its
// form depends on the firmware generation: a 16-bit word of four bands on the first generations
// (vka::Equalizer), six bands and a separate switch later (vkb::Equalizer).

#include <memory>
#include <string>

namespace device {

class IEqualizer {
public:
    virtual ~IEqualizer() = default;
    // Stores the switch and gives it back.
    virtual bool setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
    // The whole device command that sets this equalizer.
    virtual std::string toCommand() const = 0;
    virtual std::shared_ptr<IEqualizer> clone() const = 0;
    virtual bool operator<(const IEqualizer& other) const = 0;
    virtual bool operator==(const IEqualizer& other) const = 0;
    virtual bool operator!=(const IEqualizer& other) const = 0;
};

}  // namespace device
