#include "foundation/FirmwareModels.h"

namespace device {

constexpr std::array<FirmwareModel, 12> firmwareModels = {{
    {0x500004, "Vokar-B", 520, 0x3C000, "KORVA_FW", "KORVA_EF"},
    {0x500010, "Vokar-B-PSS", 392, 0x10000, "POWER_FW", "POWER_EF"},
    {0x500020, "Vokar-B-LC", 188, 0xF000, "LCTRL_FW", "LCTRL_EF"},
    {0x500040, "Vokar-B1", 664, 0x80000, "V_B1__FW", "V_B1__EF"},
    {0x500080, "Vokar-B2", 524, 0x80000, "V_B2__FW", "V_B2__EF"},
    {0x500100, "Vokar-B2-PSS", 524, 0x80000, "PSSv3_FW", "PSSv3_EF"},
    {0x100200, "Vokar-N", 524, 0x80000, "V_N___FW", "V_N___EF"},
    {0x100400, "Vokar-S", 524, 0x80000, "V_S___FW", "V_S___EF"},
    {0x100800, "Vokar-PoE", 524, 0x80000, "V_POE_FW", "V_POE_EF"},
    {0x501000, "Vokar-M", 524, 0x80000, "V_M___FW", "V_M___EF"},
    {0x804000, "Tribel-T", 392, 0x60000, "TRIBL_FW", "TRIBL_EF"},
    {0x808000, "Tribel-T-V2", 524, 0x60000, "TR_AT_FW", "TR_AT_EF"},
}};

bool matchesFirmwareModel(const FirmwareModel& model, std::string_view image) {
    if (image.size() < model.minimumSize) return false;
    // The offset is subtracted rather than the header size added, so that no sum can wrap.
    if (image.size() <= model.headerOffset || image.size() - model.headerOffset <= kFirmwareHeaderSize)
        return false;
    const std::string_view header = image.substr(model.headerOffset);
    return header.substr(0, model.signature.size()) == model.signature ||
           header.substr(0, model.twinSignature.size()) == model.twinSignature;
}

const FirmwareModel* findFirmwareModel(std::string_view image) {
    for (const FirmwareModel& model : firmwareModels) {
        if (matchesFirmwareModel(model, image)) return &model;
    }
    return nullptr;
}

}  // namespace device
