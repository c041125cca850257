#pragma once
// The raw data of the program's resources, embedded in it when it is built: each file of
// resources/images under its name in upper case, without the extension.

#include <cstddef>
#include <optional>
#include <string_view>

namespace frm {

struct EmbeddedResource {
    const char* name;
    const unsigned char* data;
    std::size_t size;  // a NUL follows the last byte
};

namespace detail {
// Defined by the source that the build makes from the images.
extern const EmbeddedResource embeddedResources[];
extern const std::size_t embeddedResourceCount;
}  // namespace detail

// The data of the resource whose name equals `name` regardless of case, or nothing. The
// view stays valid for the life of the program and is followed by a NUL.
std::optional<std::string_view> loadResourceData(std::string_view name);

}  // namespace frm
