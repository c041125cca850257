// The layouts beside version 4: version 2 of the first loudspeakers (its records, UTF-16 names,
// ids counted from 0, the write without erase and the rule that keeps its fragment ids a chain)
// and version 3 (the version-4 records with version 3 in the root, counted from 0).

#include <cstdio>

#include "AudioMemoryFixture.h"
#include "devicememory/AudioMemoryImage.h"
#include "devicememory/V2AudioMemory.h"
#include "devicememory/V2Records.h"
#include "devicememory/V3AudioMemory.h"
#include "foundation/HexText.h"

namespace test {
namespace {

using device::v2::memory::fragment_t;
using device::v2::memory::name_t;
using device::v2::memory::root_t;
using device::v2::memory::scenario_t;

class AudioMemoryVersion2Test : public AudioMemoryFixture {
protected:
    void SetUp() override {
        AudioMemoryFixture::SetUp();
        startDevice(kFlashSize, AudioFlash::Words::older);
    }
    std::shared_ptr<device::v2::memory::AudioMemory> memory2(bool asNew) {
        return device::v2::memory::AudioMemory::create(device_, transport_, nullptr, asNew);
    }
    // Two fragments and a scenario of them, written.
    void writeTwoFragments() {
        auto written = memory2(true);
        written->addFragment(bytesOf(400, 1), L"Гонг");
        written->addFragment(bytesOf(300, 2), L"Пожар");
        written->addScenario(0, 1, 20, L"Эвакуация");
        ASSERT_EQ(write(*written).back(), 100);
    }
};

// One fragment of n = 1000 bytes named with k = 3 characters in a flash of M bytes.
TEST_F(AudioMemoryVersion2Test, LaysOneFragmentOutInSixPieces) {
    const std::uint32_t size = kFlashSize;
    auto written = memory2(true);
    EXPECT_EQ(written->getSizeOfFreeMemory(), size);
    const std::string data = bytesOf(1000, 4);
    EXPECT_EQ(written->addFragment(data, L"Abc"), 0);
    EXPECT_EQ(written->getFragment(0).order, 0);
    EXPECT_EQ(written->getSizeOfFreeMemory(), size - (19 + 20 + 1000 + 6) - 1);
    EXPECT_EQ(write(*written), (std::vector<int>{16, 33, 50, 66, 83, 100}));

    std::vector<std::string> pieces;
    for (const std::string& command : emulated_->received()) {
        if (command.compare(0, 7, "aflash ") == 0) pieces.push_back(command);
    }
    char data1[32];
    char data2[32];
    std::snprintf(data1, sizeof data1, "aflash %08X 512 ", size - 1001);
    std::snprintf(data2, sizeof data2, "aflash %08X 488 ", size - 1001 + 512);
    // The data lies at M - 1001 = 0x3C17; the fragment's and the name's records and the name
    // "Abc" in UTF-16.
    EXPECT_EQ(pieces,
              (std::vector<std::string>{
                  "aflash 00000000 19 " + std::string(38, 'F'), "aflash 00000013 10 173C0000E80300000100",
                  "aflash 0000001D 16 01000300000027000000410062006300",
                  data1 + base::toHex(data.data(), 512), data2 + base::toHex(data.data() + 512, 488),
                  "aflash 00000000 19 021300000001001D00000000001D0000000100"}));

    const root_t root = recordAt<root_t>(0);
    EXPECT_EQ(root.version, 2);
    EXPECT_EQ(root.fragmentTable, 19u);
    EXPECT_EQ(root.nameTable, 29u);
    EXPECT_EQ(root.nameCount, 1);
    const fragment_t fragment = recordAt<fragment_t>(19);
    EXPECT_EQ(fragment.address, size - 1001);
    EXPECT_EQ(fragment.dataSize, 1000u);
    const name_t name = recordAt<name_t>(29);
    EXPECT_EQ(name.id, fragment.nameId);
    EXPECT_EQ(name.length, 3u);
    EXPECT_EQ(name.address, 39u);
    EXPECT_EQ(*flash_->flash().read(39, 6), std::string("A\0b\0c\0", 6));
    EXPECT_EQ(*flash_->flash().read(size - 1001, 1000), data);
    EXPECT_EQ(*flash_->flash().read(size - 1, 1), "\xFF");

    auto read = memory2(false);
    EXPECT_EQ(read->getFragment(0).name, L"Abc");
    read->playFragment(0);
    EXPECT_EQ(emulated_->received().back(), "aplay 0");
}

TEST_F(AudioMemoryVersion2Test, LoadsOnlyASoundFlashOfItsVersion) {
    const std::wstring rootRefused = L"Ошибка в структуре аудио памяти. Некорректная загрузочная запись";
    const std::wstring scenariosRefused = L"Ошибка в структуре аудио памяти (Загрузка сообщений)";
    const std::wstring unknown = L"unknownVersion / Устройство имеет неизвестную версию аудио памяти";
    const auto root = [](std::uint8_t version, std::uint16_t fragments, std::uint16_t scenarios,
                         std::uint16_t names) {
        root_t record;
        record.version = version;
        record.fragmentTable = record.scenarioTable = record.nameTable = 19;
        record.fragmentCount = fragments;
        record.scenarioCount = scenarios;
        record.nameCount = names;
        return record;
    };
    const auto scenarioValue = [this](std::uint16_t value) {
        return [this, value] {
            writeTwoFragments();
            scenario_t scenario = recordAt<scenario_t>(39);
            scenario.value = value;
            put(39, scenario);
        };
    };
    const struct {
        const char* name;
        std::function<void()> flash;
        std::wstring message;
    } cases[] = {
        {"erased", [] {}, L""},
        {"version 3", [&] { put(0, root(3, 0, 0, 0)); }, unknown},
        {"version 4", [&] { put(0, root(4, 0, 0, 0)); }, unknown},
        {"names one short", [&] { put(0, root(2, 1, 1, 1)); }, rootRefused},
        // 512 names of 10 bytes fill the whole flash: the bound is strict.
        {"names as long as the flash", [&] { put(0, root(2, 300, 212, 512)); }, rootRefused},
        {"scenario value 0", scenarioValue(0), scenariosRefused},
        {"scenario value 256", scenarioValue(256), scenariosRefused},
        {"scenario value 255", scenarioValue(255), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startDevice(5120, AudioFlash::Words::older);
        c.flash();
        EXPECT_EQ(thrownMessage([&] { memory2(false); }), c.message);
    }
    EXPECT_TRUE(capture_.contains(L"Audio memory versions are different 3 != 2", L"DEBUG"));
}

TEST_F(AudioMemoryVersion2Test, OnlyTheLastFragmentIsRemovedSoThatIdsStayAChain) {
    writeTwoFragments();
    const auto attached = memory2(false);
    attached->removeScenario(0);
    EXPECT_EQ(thrownCode([&] { attached->removeFragment(0); }), L"unsupported");
    attached->removeFragment(1);
    EXPECT_EQ(attached->getFragments().size(), 1u);

    // An image has no device, and the same chain: refused before anything changes.
    const auto detached = device::memory::loadImage(memory2(false)->getImage(false));
    detached->removeScenario(0);
    int changes = 0;
    detached->setChangeHandlers([&] { ++changes; }, nullptr);
    EXPECT_EQ(thrownCode([&] { detached->removeFragment(0); }), L"unsupported");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(detached->getFragments().size(), 2u);
    EXPECT_EQ(detached->getFragmentFile(0), bytesOf(400, 1));
    detached->removeFragment(1);
    EXPECT_EQ(detached->getFragmentFile(0), bytesOf(400, 1));

    // Play numbers 0 to 255: 256 fragments.
    auto full = memory2(true);
    for (int n = 0; n < 256; ++n) full->addFragment("x", L"f" + std::to_wstring(n));
    EXPECT_EQ(full->getFragment(255).order, 255);
    EXPECT_EQ(thrownCode([&] { full->addFragment("x", L"f256"); }), L"maxOrder");
}

// Data that another writer placed apart from where a write puts it moves with the next write,
// even one that only adds a scenario.
TEST_F(AudioMemoryVersion2Test, MovesDataThatLiesApartFromItsPlace) {
    writeTwoFragments();
    fragment_t second = recordAt<fragment_t>(29);
    const std::string data = *flash_->flash().read(second.address, second.dataSize);
    flash_->flash().load(second.address, std::string(second.dataSize, '\0'));
    second.address -= 1000;
    flash_->flash().load(second.address, data);
    put(29, second);

    auto edited = memory2(false);
    edited->addScenario(1, 0, 5, L"Обратный");
    ASSERT_EQ(write(*edited).back(), 100);
    auto read = memory2(false);
    EXPECT_EQ(read->getFragmentFile(0), bytesOf(400, 1));
    EXPECT_EQ(read->getFragmentFile(1), bytesOf(300, 2));
    EXPECT_EQ(recordAt<fragment_t>(29).address, kFlashSize - 701);
}

// Version 3: the version-4 records with 3 in the root's version field, ids and play numbers
// counted from 0.
TEST_F(AudioMemoryFixture, Version3IsReadBackAfterAWrite) {
    auto written = device::v3::memory::AudioMemory::create(device_, transport_, nullptr, true);
    EXPECT_EQ(written->addFragment(bytesOf(500, 1), L"Гонг"), 0);
    EXPECT_EQ(written->addFragment(bytesOf(200, 2), L"Пожар"), 1);
    EXPECT_EQ(written->addScenario(0, 1, 15, L"Эвакуация"), 0);
    ASSERT_EQ(write(*written).back(), 100);
    EXPECT_EQ(flashRoot().version, 3);
    const std::string record = *flash_->flash().read(flashRoot().fragmentTable, 4);
    EXPECT_EQ(record, std::string("\0\0\0\0", 4));

    auto read = device::v3::memory::AudioMemory::create(device_, transport_, nullptr, false);
    ASSERT_EQ(read->getFragments().size(), 2u);
    EXPECT_EQ(read->getFragment(1).order, 1);
    EXPECT_EQ(read->getFragment(1).name, L"Пожар");
    EXPECT_EQ(read->getFragmentFile(1), bytesOf(200, 2));
    const auto scenario = read->getScenario(0);
    EXPECT_EQ(scenario.order, 0);
    EXPECT_EQ(scenario.gongId, 0);
    EXPECT_EQ(scenario.fragmentId, 1);
    EXPECT_EQ(scenario.repeatPeriod, 15);
    EXPECT_EQ(read->getHash(), written->getHash());
    read->playScenario(0);
    EXPECT_EQ(emulated_->received().back(), "voicePlaySc 0");

    // Each of versions 3 and 4 refuses the other's flash.
    flash_->setPlaying(false);
    const std::wstring unknown = L"unknownVersion / Устройство имеет неизвестную версию аудио памяти";
    EXPECT_EQ(thrownMessage([&] { memory(false); }), unknown);
    ASSERT_EQ(write(*memory(true)).back(), 100);
    EXPECT_EQ(
        thrownMessage([&] { device::v3::memory::AudioMemory::create(device_, transport_, nullptr, false); }),
        unknown);
}

}  // namespace
}  // namespace test
