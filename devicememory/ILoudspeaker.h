#pragma once
// What an audio memory asks of its device when that device is a loudspeaker. A device class
// that is no loudspeaker does not implement it, and its memory asks the device itself.

namespace device::memory {

class ILoudspeaker {
public:
    virtual ~ILoudspeaker() = default;
    // The loudspeaker reports that it plays from its audio memory.
    virtual bool playsFromMemory() = 0;
    // What it plays now may be stopped by the operator.
    virtual bool playbackStoppable() = 0;
    // Its firmware moves the data of the fragments that stay when any but the last is removed.
    virtual bool removesOnlyLastFragment() = 0;
};

}  // namespace device::memory
