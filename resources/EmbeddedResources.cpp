#include "resources/EmbeddedResources.h"

#include <algorithm>

namespace frm {
namespace {

// ASCII only: a locale-aware comparison would depend on the process locale.
bool equalIgnoringCase(std::string_view a, std::string_view b) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
}

}  // namespace

std::optional<std::string_view> loadResourceData(std::string_view name) {
    for (std::size_t i = 0; i < detail::embeddedResourceCount; ++i) {
        const EmbeddedResource& resource = detail::embeddedResources[i];
        if (equalIgnoringCase(resource.name, name)) {
            return std::string_view(reinterpret_cast<const char*>(resource.data), resource.size);
        }
    }
    return std::nullopt;
}

}  // namespace frm
