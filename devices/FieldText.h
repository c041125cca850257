#pragma once
// The text of one enumerated field of a status record, as the window shows it, with its length.

#include <cstddef>

namespace device {

struct FieldText {
    const wchar_t* text;
    std::size_t length;
};

}  // namespace device
