// The audio memory's model on its own: built from the bytes of an erased flash, with no device,
// link, transport, dispatcher or emulated device. Its ids and play numbers, its limits and
// refusals, and the hash.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "Outcomes.h"
#include "devicememory/V2AudioModel.h"
#include "devicememory/V3AudioModel.h"
#include "devicememory/V4AudioMemory.h"
#include "devicememory/V4AudioModel.h"
#include "foundation/Exceptions.h"

namespace test {
namespace {

constexpr std::size_t kFlashSize = 16 * 1024;

using Model = device::v4::memory::AudioModel;

// An empty model of the current layout over an erased flash of kFlashSize bytes.
std::unique_ptr<Model> blankModel() {
    return device::memory::AudioMemoryModel::fromFlash<Model>(std::string(kFlashSize, '\xFF'));
}

// What a model shows of its lists and data.
std::wstring contentsOf(device::memory::AudioMemoryModel& model) {
    std::wstring text = model.getHash() + L":";
    for (const auto& f : model.getFragments()) {
        text += std::to_wstring(f.id) + L"," + std::to_wstring(f.order) + L"," + f.name + L"," +
                std::to_wstring(model.getFragmentFile(f.id).size()) + L";";
    }
    for (const auto& s : model.getScenarios()) {
        text += std::to_wstring(s.id) + L"," + std::to_wstring(s.gongId) + L"," +
                std::to_wstring(s.fragmentId) + L"," + std::to_wstring(s.repeatPeriod) + L"," + s.name + L";";
    }
    return text;
}

// Edits a model of the layout over an erased flash, lays it out into an image and loads the
// image into a new model of the same layout.
template <class Layout>
void roundTrip(const char* name) {
    SCOPED_TRACE(name);
    auto edited = device::memory::AudioMemoryModel::fromFlash<Layout>(std::string(kFlashSize, '\xFF'));
    const std::int16_t gong = edited->addFragment(std::string(700, 'g'), L"Гонг");
    const std::int16_t fire = edited->addFragment("fire", L"Пожар");
    edited->addScenario(gong, fire, 30, L"Эвакуация");
    const std::wstring before = contentsOf(*edited);

    const std::string image = edited->logicalImage();
    ASSERT_EQ(image.size(), kFlashSize);
    // Laying out leaves the edited model as it was, changes pending.
    EXPECT_EQ(contentsOf(*edited), before);
    EXPECT_TRUE(edited->hasChanges());

    auto loaded = device::memory::AudioMemoryModel::fromFlash<Layout>(image);
    EXPECT_EQ(contentsOf(*loaded), before);
    EXPECT_EQ(loaded->getFragmentFile(gong), std::string(700, 'g'));
    EXPECT_FALSE(loaded->hasChanges());
    EXPECT_FALSE(loaded->isBroken());
}

TEST(AudioMemoryModelTest, ALaidOutFlashLoadsBackIntoAModelOfEveryLayout) {
    roundTrip<device::v2::memory::AudioModel>("version 2");
    roundTrip<device::v3::memory::AudioModel>("version 3");
    roundTrip<device::v4::memory::AudioModel>("version 4");
}

TEST(AudioMemoryModelTest, AFragmentWithoutDataInADevicesOwnFlashIsTheOperatorsToMend) {
    // Version 2 keeps no checksum over the data: a fragment whose size reads zero loads, and a
    // copy or a save of it is refused with words the operator can act on.
    auto edited = device::memory::AudioMemoryModel::fromFlash<device::v2::memory::AudioModel>(
        std::string(kFlashSize, '\xFF'));
    edited->addFragment("fire", L"Пожар");
    std::string flash = edited->logicalImage();
    constexpr std::size_t kFirstSizeAt = 23;
    flash.replace(kFirstSizeAt, 4, 4, '\0');
    auto loaded = device::memory::AudioMemoryModel::fromFlash<device::v2::memory::AudioModel>(flash);
    ASSERT_EQ(loaded->getFragments().size(), 1u);
    try {
        loaded->getFragmentFile(loaded->getFragments().front().id);
        ADD_FAILURE() << "a fragment without data was handed out";
    } catch (const exception::UserError& refusal) {
        EXPECT_EQ(refusal.message, L"Трек имеет нулевой размер");
    }
}

TEST(AudioMemoryModelTest, AFlashOfAnotherLayoutIsRefused) {
    auto edited = blankModel();
    edited->addFragment("abc", L"one");
    const std::string image = edited->logicalImage();
    EXPECT_THROW(device::memory::AudioMemoryModel::fromFlash<device::v3::memory::AudioModel>(image),
                 exception::UnknownVersionOfAudioMemory);
}

TEST(AudioMemoryModelTest, IdsAndPlayNumbersCountFromOne) {
    auto edited = blankModel();
    EXPECT_EQ(edited->addFragment("a", L"first"), 1);
    EXPECT_EQ(edited->addFragment("b", L"second"), 2);
    EXPECT_EQ(edited->getFragmentOrder(2), 2);
    edited->removeFragment(1);
    EXPECT_EQ(edited->getFragmentOrder(2), 1);
    EXPECT_EQ(edited->getFragmentId(1), 2);
    EXPECT_EQ(edited->getFragmentOrder(1), -1);
    EXPECT_EQ(edited->addFragment("c", L"third"), 3);
    EXPECT_EQ(edited->addScenario(2, 3, 5, L"first"), 1);
    EXPECT_EQ(edited->addScenario(3, 3, 5, L"second"), 2);
    edited->removeScenario(1);
    EXPECT_EQ(edited->getScenario(2).order, 1);
    EXPECT_EQ(edited->getScenario(2).position, 1);
    EXPECT_EQ(edited->getScenarioId(1), 2);
}

TEST(AudioMemoryModelTest, KeepsItsLimits) {
    auto edited = blankModel();
    for (int n = 1; n <= 255; ++n) edited->addFragment("x", L"f" + std::to_wstring(n));
    EXPECT_EQ(thrownCode([&] { edited->addFragment("x", L"one more"); }), L"maxOrder");
    for (int n = 1; n <= 64; ++n) edited->addScenario(1, 2, 0, L"s" + std::to_wstring(n));
    EXPECT_EQ(thrownCode([&] { edited->addScenario(1, 2, 0, L"one more"); }), L"maxOrder");
}

TEST(AudioMemoryModelTest, RefusesEditsThatBreakItsRules) {
    auto edited = blankModel();
    edited->addFragment("gong", L"Гонг");
    edited->addFragment("fire", L"Пожар");
    edited->addScenario(1, 2, 30, L"Эвакуация");
    const std::wstring tooLong(65, L'a');
    struct Case {
        const char* name;
        std::function<void()> edit;
        const wchar_t* refusal;  // "code" of a UserResponse or "message / description" of another error
    };
    const Case cases[] = {
        {"empty data", [&] { edited->addFragment("", L"x"); }, L"Трек имеет нулевой размер"},
        {"empty name", [&] { edited->addFragment("x", L""); },
         L"Некорректное название / Название имеет недопустимые символы или длину"},
        {"name of 65", [&] { edited->addFragment("x", tooLong); },
         L"Некорректное название / Название имеет недопустимые символы или длину"},
        {"control character", [&] { edited->addFragment("x", L"a\tb"); },
         L"Некорректное название / Название имеет недопустимые символы или длину"},
        {"fragment name taken", [&] { edited->addFragment("x", L"Гонг"); }, L"titleExists"},
        {"scenario name taken", [&] { edited->addScenario(1, 1, 0, L"Эвакуация"); }, L"titleExists"},
        {"scenario of no fragment", [&] { edited->addScenario(1, 7, 0, L"x"); },
         L"incorrect positions (gong or fragment) / Заданные номера гонга или сообщения вне диапазона"},
        {"fragment of a scenario", [&] { edited->removeFragment(2); }, L"entry"},
        {"no such fragment", [&] { edited->removeFragment(9); }, L"Номер удаляемого сообщения вне диапазона"},
        {"no such scenario", [&] { edited->removeScenario(9); },
         L"position out of range / Номер удаляемого сценария вне диапазона"},
        {"unknown fragment", [&] { edited->getFragment(9); },
         L"Internal error / fragment position out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring code = thrownCode(c.edit);
        EXPECT_EQ(code.empty() ? thrownMessage(c.edit) : code, c.refusal);
    }
    // A name of 64 characters with Cyrillic letters and "№" is taken whole, and comes back whole
    // from the flash it is laid out into.
    const std::wstring longest = L"№ Елки " + std::wstring(57, L'Ж');
    ASSERT_EQ(longest.size(), 64u);
    std::int16_t id = 0;
    ASSERT_NO_THROW(id = edited->addFragment("x", longest));
    EXPECT_EQ(edited->getFragments().size(), 3u);
    EXPECT_EQ(edited->getFragment(id).name, longest);
    const auto loaded = device::memory::AudioMemoryModel::fromFlash<Model>(edited->logicalImage());
    ASSERT_TRUE(loaded->hasFragment(id));
    EXPECT_EQ(loaded->getFragment(id).name, longest);
}

TEST(AudioMemoryModelTest, TheHashTellsDifferentContentApart) {
    auto first = blankModel();
    auto second = blankModel();
    first->addFragment("abc", L"one");
    second->addFragment("abc", L"one");
    EXPECT_EQ(first->getHash(), second->getHash());
    second->addFragment("d", L"two");
    EXPECT_NE(first->getHash(), second->getHash());
}

TEST(AudioMemoryModelTest, MemoriesCompareByTheirHashes) {
    const auto blank = [] {
        return device::v4::memory::AudioMemory::fromImage(std::string(kFlashSize, '\xFF'));
    };
    auto first = blank();
    auto second = blank();
    first->addFragment("abc", L"one");
    second->addFragment("abc", L"one");
    EXPECT_TRUE(first->isEqual(*second));
    second->addFragment("d", L"two");
    EXPECT_TRUE(first->isNotEqual(*second));
    EXPECT_NE(first->isLess(*second), second->isLess(*first));
}

}  // namespace
}  // namespace test
