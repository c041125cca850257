#pragma once
// The 25 capability flags of a device, numbered 1 to 25 (flag n is element n - 1). The device
// classes set them from the type and firmware whenever the version changes; the window reads
// them to choose what it offers.

#include <array>
#include <cstddef>
#include <initializer_list>

namespace device {

using FeatureFlags = std::array<bool, 25>;

constexpr bool hasFeature(const FeatureFlags& flags, std::size_t flag) {
    return flag >= 1 && flag <= flags.size() && flags[flag - 1];
}

// Sets the flags with these numbers and leaves the others as they are.
inline void setFeatures(FeatureFlags& flags, std::initializer_list<std::size_t> numbers) {
    for (const std::size_t n : numbers) {
        if (n >= 1 && n <= flags.size()) flags[n - 1] = true;
    }
}

}  // namespace device
