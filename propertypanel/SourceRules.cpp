#include "propertypanel/SourceRules.h"

#include "devices/VokarConfig.h"

namespace frm::source {

Boxes boxes(bool allowOther, bool passInput1, bool passInput2, const DeviceTraits& traits) {
    if (allowOther && (passInput1 || passInput2)) return {true, true, true};
    Boxes result;
    result.passInput1Enabled = !allowOther && traits.passInput1;
    result.passInput2Enabled = !allowOther && traits.passInput2;
    result.allowOtherEnabled = !passInput1 && !passInput2;
    return result;
}

InputMode inputMode(bool second, bool passedOn, std::int16_t scenarioId, const DeviceTraits& traits) {
    const bool input = second ? traits.passInput2 : traits.passInput1;
    return {input && traits.inputModes && !passedOn, passedOn || scenarioId == device::ain::none};
}

std::optional<Reserve> lineReserve(bool interfaceError, bool stored, const DeviceTraits& traits) {
    if (!traits.lineRedundancy) return std::nullopt;
    return Reserve{interfaceError, interfaceError && stored};
}

}  // namespace frm::source
