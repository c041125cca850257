#include "devices/VokarVersion.h"

#include <initializer_list>
#include <iterator>
#include <map>

#include "foundation/Checks.h"
#include "foundation/Place.h"

namespace device {
namespace {

struct VersionText {
    std::int32_t key;
    const char* text;
};

const VersionText versionTexts[vokarVersionCount] = {
    {0, "Unknown"},       {1, "VKA_1.01.69>="}, {2, "VKA_1.01.70"},  {3, "VKA_1.01.71"},
    {4, "VKA_1.01.71.2"}, {5, "VKA_1.01.72<="}, {6, "VKA_2.00.71"},  {7, "VKA_2.00.71"},
    {8, "VKA_2.01.72<="}, {9, "VKA_3.00.01"},   {10, "VKB_1.00.56"}, {11, "VKB_1.00.59"},
    {12, "VKB_1.01.63"},  {13, "VKB_1.01.69"},  {14, "VKB_1.02.79"}, {15, "VKBx_1.01.80"},
    {16, "V3_A110"},      {17, "V3_A111"},      {18, "V3_A113"},     {19, "V3_A121"},
    {20, "V3_A125"},      {21, "V3_A128"},      {22, "V3_A131"},     {23, "V3_Higher"},
};

struct GenerationRow {
    std::int32_t key;
    std::uint32_t number;
};

const GenerationRow generationRows[] = {{0, 0}, {1, 2}, {2, 10}, {16, 21}, {23, 21}};

void requireKnown(VokarVersion version) {
    if (version >= 0 && version < vokarVersionCount) return;
    debug::Place("device::requireKnown").error(L"Используется некорректная версия");
    debug::throwIfFalse(false, "device::requireKnown");
}

// The first row whose key is not below the value; the check above leaves no value uncovered.
template <class Row, std::size_t N>
const Row& firstRowNotBelow(const Row (&rows)[N], VokarVersion version) {
    for (const Row& row : rows) {
        if (row.key >= version) return row;
    }
    return rows[N - 1];
}

// Build numbers of the third number of a later loudspeaker's version, each the first of its
// generation. 131 is the last build that has its own generation; later builds share the last.
const std::map<std::uint16_t, VokarVersion>& buildGenerations() {
    static const std::map<std::uint16_t, VokarVersion> table = {
        {0, vokarA_3_00_01},  {56, vokarB_1_00_56}, {59, vokarB_1_00_59},  {63, vokarB_1_01_63},
        {69, vokarB_1_01_69}, {73, vokarB_1_02_79}, {80, vokarBx_1_01_80}, {110, vokarV3_A110},
        {111, vokarV3_A111},  {113, vokarV3_A113},  {121, vokarV3_A121},   {125, vokarV3_A125},
        {128, vokarV3_A128},  {131, vokarV3_A131},  {132, vokarV3_Higher},
    };
    return table;
}

VokarVersion vokarAGeneration(const Version& version) {
    if (version.major == 1) {
        if (version.revision < 70) return vokarA_1_01_69;
        if (version.revision == 70) return vokarA_1_01_70;
        if (version.revision == 71) return version.build == 2 ? vokarA_1_01_71_2 : vokarA_1_01_71;
        return vokarA_1_01_72;
    }
    if (version.major == 2 && version.minor == 0) {
        return version.build < 17105 ? vokarA_2_00_71 : vokarA_2_00_71_late;
    }
    return vokarA_2_01_72;
}

}  // namespace

std::string get(VokarVersion version) {
    requireKnown(version);
    return firstRowNotBelow(versionTexts, version).text;
}

std::uint32_t get(VokarVersion version, GenerationNumber) {
    requireKnown(version);
    return firstRowNotBelow(generationRows, version).number;
}

VokarVersion toVokarVersion(const Version& version) {
    if (isOfKind(version.type, types::vokarFamily)) return vokarV3_Higher;
    if (isOfKind(version.type, types::vokarAGroup | types::loudspeaker)) return vokarAGeneration(version);
    if (isOfKind(version.type, types::loudspeaker)) {
        const auto& table = buildGenerations();
        return std::prev(table.upper_bound(version.revision))->second;
    }
    return vokarUnknown;
}

FeatureFlags vokarFeatures(DeviceType type, VokarVersion version) {
    FeatureFlags flags{};
    const bool vokarBFamily = isOfKind(type, types::vokarBGroup | types::loudspeaker);
    const bool vokarS = isOfKind(type, types::vokarS);
    const bool vokarB1 = isOfKind(type, types::vokarB1);
    if (isOfKind(type, types::vokarAGroup | types::loudspeaker)) {
        setFeatures(flags, {2, 3, 4, 5, 7, 9, 11});
    } else if (vokarBFamily || vokarS) {
        setFeatures(flags, {2, 3, 4, 6, 7, 11});
        if (version >= 11) setFeatures(flags, {1});
        if (vokarB1 || vokarS) setFeatures(flags, {8, 18, 21});
        if (version >= 16) setFeatures(flags, {9, 13, 19});
        if ((vokarB1 || vokarS) && version >= 16) setFeatures(flags, {10});
        if (vokarBFamily) setFeatures(flags, {12});
        if (vokarBFamily && version >= 16) setFeatures(flags, {14});
        if (vokarS) setFeatures(flags, {15});
        if (vokarB1) setFeatures(flags, {16});
        if (version >= 12) setFeatures(flags, {17});
        if (version >= 18) setFeatures(flags, {20});
        if (version >= 20) setFeatures(flags, {24});
        if (version >= 21) setFeatures(flags, {25});
    } else if (isOfKind(type, types::vokarN) || isOfKind(type, types::vokarPoE)) {
        const bool vokarPoE = isOfKind(type, types::vokarPoE);
        setFeatures(flags, {18, 19, 21});
        if (vokarPoE) setFeatures(flags, {1, 20});
        if (isOfKind(type, types::vokarN)) setFeatures(flags, {24});
        if (version >= 21) setFeatures(flags, {25});
    }
    return flags;
}

}  // namespace device
