#pragma once
// The window's image resources by number: the name the resource data is kept under, its
// kind and the size it is shown at.

#include <array>
#include <string_view>

#include "foundation/ProgramTables.h"

namespace frm {

enum class ResourceKind : int {
    iconGroup = 0,  // the window icon: not turned into a bitmap by loadResource
    svgImage = 2,
};

struct ResourceInfo {
    std::string_view name;  // matched regardless of case against the resource names
    ResourceKind kind;
    int height;
    int width;
};

extern const std::array<base::TableRow<int, ResourceInfo>, 26> ResourceTable;

}  // namespace frm
