#include "devicelink/DeviceType.h"

#include <string_view>

#include "foundation/Place.h"
#include "foundation/ScanFields.h"

namespace device {
namespace {

using base::scan::containsIgnoringCase;

struct TypeText {
    DeviceType type;
    const char* text;
};

const TypeText typeTexts[] = {
    {types::unknown, "Unknown"},
    {types::vokarN, "Vokar-N"},
    {types::vokarS, "Vokar-S"},
    {types::vokarPoE, "Vokar-PoE"},
    {types::vokarAFirstGeneration, "Vokar-A"},
    {types::vokarALaterGeneration, "Vokar-A"},
    {types::vokarB, "Vokar-B"},
    {types::vokarBPSS, "Vokar-B-PSS"},
    {types::vokarBLC, "Vokar-B-LC"},
    {types::vokarB1, "Vokar-B1"},
    {types::vokarB2, "Vokar-B2"},
    {types::vokarB2PSS, "Vokar-B2-PSS"},
    {types::vokarM, "Vokar-M"},
    {types::tribelT, "Tribel-T"},
    {types::tribelTV2, "Tribel-T-V2"},
    {types::vokarFamily, "Vokar"},
    {types::tribelFamily, "Tribel"},
};

// Several models share a name; the major version of a version text tells their generations
// apart. A bare type text names the first generation.
DeviceType byGeneration(std::string_view text, DeviceType first, DeviceType second, DeviceType third) {
    if (text.find(" 1.") != std::string_view::npos) return first;
    if (text.find(" 2.") != std::string_view::npos) return second;
    if (text.find(" 3.") != std::string_view::npos) return third;
    return first;
}

}  // namespace

std::string toText(const DeviceType& type) {
    for (const TypeText& entry : typeTexts) {
        if (entry.type == type) return entry.text;
    }
    debug::Place("device::toText").warn(L"Неподдерживаемый тип прошивки %1%", type);
    return "Unsupported";
}

DeviceType fromText(const std::string& text) {
    // The order matters: a longer model name must be tried before the names it contains.
    if (containsIgnoringCase(text, "Vokar-A")) {
        return text.find(" 1.") != std::string::npos ? types::vokarAFirstGeneration
                                                     : types::vokarALaterGeneration;
    }
    if (containsIgnoringCase(text, "Vokar-B-PSS")) return types::vokarBPSS;
    if (containsIgnoringCase(text, "Vokar-B-LC")) return types::vokarBLC;
    if (containsIgnoringCase(text, "Vokar-B1")) return types::vokarB1;
    if (containsIgnoringCase(text, "Vokar-B2-PSS")) return types::vokarB2PSS;
    // A Vokar-B2 reports itself as "Vokar-B" with major version 3; the bare name is not a model.
    if (containsIgnoringCase(text, "Vokar-B2")) return types::vokarFamily;
    if (containsIgnoringCase(text, "Vokar-B")) {
        return byGeneration(text, types::vokarB, types::vokarB1, types::vokarB2);
    }
    if (containsIgnoringCase(text, "Vokar-N")) return types::vokarN;
    if (containsIgnoringCase(text, "Vokar-S")) return types::vokarS;
    if (containsIgnoringCase(text, "Vokar-PoE")) return types::vokarPoE;
    if (containsIgnoringCase(text, "Vokar-M")) return types::vokarM;
    if (containsIgnoringCase(text, "Tribel-T")) {
        return byGeneration(text, types::tribelT, types::tribelTV2, types::tribelT);
    }
    if (containsIgnoringCase(text, "Vokar")) return types::vokarFamily;
    if (containsIgnoringCase(text, "Tribel")) return types::tribelFamily;
    return types::unknown;
}

}  // namespace device
