#pragma once
// What a console's gong setting needs of its audio memory: the console names its gong by the
// fragment's position in the memory (order), the operator by the fragment's id.

#include <cstdint>

namespace device {

class FragmentCatalog {
public:
    virtual ~FragmentCatalog() = default;
    // Edits that were not yet written to the device.
    virtual bool hasChanges() = 0;
    virtual bool hasFragment(std::int32_t id) = 0;
    // -1 when no fragment has that id.
    virtual std::int32_t getFragmentOrder(std::int32_t id) = 0;
    // -1 when no fragment is at that order.
    virtual std::int32_t getFragmentId(std::int32_t order) = 0;
};

}  // namespace device
