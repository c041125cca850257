#pragma once
// What a loudspeaker's analog-input settings need of its audio memory: the device names the
// scenario an input starts by its play number (order), the operator by its id.

#include <cstdint>
#include <memory>

namespace device {
namespace memory {
class IAudioControl;
}

class ScenarioCatalog {
public:
    virtual ~ScenarioCatalog() = default;
    // Edits that were not yet written to the device.
    virtual bool hasChanges() = 0;
    virtual bool hasScenario(std::int32_t id) = 0;
    // -1 when no scenario has that id.
    virtual std::int32_t getScenarioOrder(std::int32_t id) = 0;
    // -1 when no scenario has that order.
    virtual std::int32_t getScenarioId(std::int32_t order) = 0;
};

// The lookups answered by an audio memory, which the catalog keeps alive; null for no memory.
std::shared_ptr<ScenarioCatalog> scenarioCatalogOf(std::shared_ptr<memory::IAudioControl> memory);

}  // namespace device
