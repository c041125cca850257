#pragma once
// Device command texts made from a printf pattern, cut at the bound of the devices' own line
// buffer.

#include <algorithm>
#include <cstdio>
#include <string>

namespace device {

inline constexpr std::size_t kLongestCommand = 1395;

template <class... Args>
std::string commandText(const char* pattern, Args... args) {
    char text[kLongestCommand];
    const int written = std::snprintf(text, sizeof text, pattern, args...);
    return std::string(text, written < 0 ? 0 : std::min<std::size_t>(written, sizeof text - 1));
}

}  // namespace device
