#include "devices/ScenarioCatalog.h"

#include <limits>
#include <utility>

#include "devicelink/IAudioControl.h"

namespace device {
namespace {

// The memory keeps ids of 16 bits: a wider one names no scenario of it.
bool fitsId(std::int32_t id) {
    return id >= std::numeric_limits<std::int16_t>::min() && id <= std::numeric_limits<std::int16_t>::max();
}

class AudioMemoryScenarios : public ScenarioCatalog {
public:
    explicit AudioMemoryScenarios(std::shared_ptr<memory::IAudioControl> memory)
        : memory_(std::move(memory)) {}

    bool hasChanges() override { return memory_->hasChanges(); }
    bool hasScenario(std::int32_t id) override {
        return fitsId(id) && memory_->hasScenario(static_cast<std::int16_t>(id));
    }
    std::int32_t getScenarioOrder(std::int32_t id) override {
        return fitsId(id) ? memory_->getScenarioOrder(static_cast<std::int16_t>(id)) : -1;
    }
    std::int32_t getScenarioId(std::int32_t order) override { return memory_->getScenarioId(order); }

private:
    const std::shared_ptr<memory::IAudioControl> memory_;
};

}  // namespace

std::shared_ptr<ScenarioCatalog> scenarioCatalogOf(std::shared_ptr<memory::IAudioControl> memory) {
    if (!memory) return nullptr;
    return std::make_shared<AudioMemoryScenarios>(std::move(memory));
}

}  // namespace device
