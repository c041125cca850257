// The version-4 flash layout: where a write puts each record, how a flash of each kind of
// damage is refused without reading past its end, and round trips of generated memories.

#include <cstdio>
#include <functional>
#include <random>

#include "AudioMemoryFixture.h"
#include "devicememory/Crc32Mpeg2.h"
#include "foundation/Exceptions.h"
#include "foundation/HexText.h"
#include "support/LoudspeakerEmulator.h"

namespace test {
namespace {

using device::v4::memory::Fragment;
using device::v4::memory::Name;
using device::v4::memory::Root;
using device::v4::memory::Scenario;

class AudioMemoryLayoutTest : public AudioMemoryFixture {
protected:
    template <class Record>
    void patch(std::uint32_t address, const std::function<void(Record&)>& change) {
        Record record = recordAt<Record>(address);
        change(record);
        put(address, record);
    }
    // The root checksum of what the flash holds, as a write would store it.
    void fixChecksum() {
        Root root = recordAt<Root>(0);
        root.checksum = 0;
        std::uint8_t bytes[Root::size];
        root.write(bytes);
        std::uint32_t crc = device::crc32Mpeg2(bytes, Root::size);
        const std::string fragments =
            *flash_->flash().read(root.fragmentTable, Fragment::size * root.fragmentCount);
        crc = device::crc32Mpeg2(fragments.data(), fragments.size(), crc);
        const std::string scenarios =
            *flash_->flash().read(root.scenarioTable, Scenario::size * root.scenarioCount);
        root.checksum = device::crc32Mpeg2(scenarios.data(), scenarios.size(), crc);
        patch<Root>(0, [&](Root& r) { r.checksum = root.checksum; });
    }
    // Every read the device was asked for stays below the flash's last byte.
    void expectReadsInside(std::uint64_t size) {
        for (const std::string& command : emulated_->received()) {
            if (command.compare(0, 13, "voiceMemRead ") != 0) continue;
            const std::uint64_t address = std::stoull(command.substr(13, 8), nullptr, 16);
            const std::uint64_t count = std::stoull(command.substr(22));
            EXPECT_LE(address + count, size - 1) << command;
        }
    }
};

TEST(Crc32Mpeg2Test, HasTheCheckValueOfItsParameterSet) {
    EXPECT_EQ(device::crc32Mpeg2("123456789", 9), 0x0376E6E7u);
    EXPECT_EQ(device::crc32Mpeg2("", 0), 0xFFFFFFFFu);
}

// One fragment of n bytes named with k encoded bytes in a flash of M bytes.
TEST_F(AudioMemoryLayoutTest, PlacesTheTablesAtTheBottomAndTheDataAtTheTop) {
    const std::uint32_t size = kFlashSize;
    const std::string data = bytesOf(100, 5);
    auto written = memory(true);
    EXPECT_EQ(written->getSizeOfFreeMemory(), size);
    written->addFragment(data, L"A");
    EXPECT_EQ(written->getSizeOfFreeMemory(), size - (24 + 28 + 100 + 2) - 1);
    EXPECT_EQ(write(*written).back(), 100);

    const Root root = flashRoot();
    EXPECT_EQ(root.version, 4);
    EXPECT_EQ(root.fragmentTable, 24u);
    EXPECT_EQ(root.fragmentCount, 1);
    EXPECT_EQ(root.scenarioTable, 42u);
    EXPECT_EQ(root.scenarioCount, 0);
    EXPECT_EQ(root.nameTable, 42u);
    EXPECT_EQ(root.nameCount, 1);
    const Fragment fragment = recordAt<Fragment>(24);
    EXPECT_EQ(fragment.id, 1);
    EXPECT_EQ(fragment.order, 1);
    EXPECT_EQ(fragment.address, size - 100 - 1);
    EXPECT_EQ(fragment.dataCrc, device::crc32Mpeg2(data.data(), data.size()));
    const Name name = recordAt<Name>(42);
    EXPECT_EQ(name.address, 52u);
    EXPECT_EQ(name.length, 2u);
    EXPECT_EQ(*flash_->flash().read(52, 2), std::string("A\0", 2));
    EXPECT_EQ(*flash_->flash().read(fragment.address, 100), data);
    EXPECT_EQ(*flash_->flash().read(size - 1, 1), "\xFF");

    Root blank = root;
    blank.checksum = 0;
    std::uint8_t bytes[Root::size];
    blank.write(bytes);
    std::uint8_t record[Fragment::size];
    fragment.write(record);
    EXPECT_EQ(root.checksum,
              device::crc32Mpeg2(record, Fragment::size, device::crc32Mpeg2(bytes, Root::size)));
}

TEST_F(AudioMemoryLayoutTest, AnErasedFlashIsAnEmptyMemoryAndAnotherVersionIsRefused) {
    auto empty = memory(false);
    EXPECT_TRUE(empty->getFragments().empty());
    EXPECT_FALSE(empty->hasChanges());

    patch<Root>(0, [](Root& r) {
        r = Root{};
        r.version = 3;
    });
    EXPECT_EQ(thrownMessage([&] { memory(false); }),
              L"unknownVersion / Устройство имеет неизвестную версию аудио памяти");
    // A blank memory ignores what the flash holds.
    EXPECT_TRUE(memory(true)->getFragments().empty());
}

struct Damage {
    const char* name;
    std::function<void(const Root&)> spoil;
    const wchar_t* message;  // of the exception
    const wchar_t* logged;   // a line the check writes, or empty
    bool checksumFixed;
    bool readData;  // the damage shows once the fragments' data is read
};

const wchar_t* const rootRefused = L"Ошибка в структуре аудио памяти. Некорректная загрузочная запись";
const wchar_t* const namesRefused = L"Ошибка в структуре аудио памяти (Загрузка наименований)";
const wchar_t* const fragmentsRefused = L"Ошибка в структуре аудио памяти (Загрузка фрагментов)";
const wchar_t* const scenariosRefused = L"Ошибка в структуре аудио памяти (Загрузка сообщений)";
const wchar_t* const outsideRead = L"Internal error / Область чтения за пределами аудио памяти";
const wchar_t* const violated = L"Internal error / Violated audio memory invariant";
const wchar_t* const unknownVersion = L"unknownVersion / Устройство имеет неизвестную версию аудио памяти";

TEST_F(AudioMemoryLayoutTest, RefusesEveryKindOfDamageWithoutReadingPastTheEnd) {
    const std::uint32_t size = kFlashSize;
    // Fragments 1, 2 and 3 and one scenario of fragments 1 and 2.
    const std::vector<Damage> damages = {
        {"another version", [this](const Root&) { patch<Root>(0, [](Root& r) { r.version = 3; }); },
         unknownVersion, L"", false, false},
        {"names do not add up", [this](const Root&) { patch<Root>(0, [](Root& r) { ++r.nameCount; }); },
         rootRefused, L"", false, false},
        {"fragment table beyond the flash",
         [this, size](const Root&) { patch<Root>(0, [size](Root& r) { r.fragmentTable = size; }); },
         rootRefused, L"", false, false},
        {"fragment table longer than the flash",
         [this](const Root&) {
             patch<Root>(0, [](Root& r) {
                 r.fragmentCount = 1000;
                 r.nameCount = 1001;
             });
         },
         rootRefused, L"", false, false},
        {"fragment table running past the end",
         [this, size](const Root&) { patch<Root>(0, [size](Root& r) { r.fragmentTable = size - 40; }); },
         outsideRead, L"", false, false},
        {"name text beyond the flash",
         [this, size](const Root& r) { patch<Name>(r.nameTable, [size](Name& n) { n.address = size; }); },
         namesRefused, L"", false, false},
        {"empty name", [this](const Root& r) { patch<Name>(r.nameTable, [](Name& n) { n.length = 0; }); },
         namesRefused, L"", false, false},
        {"name running past the end",
         [this, size](const Root& r) {
             patch<Name>(r.nameTable, [size](Name& n) {
                 n.address = size - 3;
                 n.length = 10;
             });
         },
         outsideRead, L"", false, false},
        {"name that is not UTF-8",
         [this](const Root& r) {
             flash_->flash().load(recordAt<Name>(r.nameTable).address, std::string("\xC3\x28", 2));
         },
         L"Ошибка в структуре аудио памяти. Некорректное название", L"", false, false},
        {"fragment data beyond the flash",
         [this, size](const Root& r) {
             patch<Fragment>(r.fragmentTable, [size](Fragment& f) { f.address = size; });
         },
         fragmentsRefused, L"", false, false},
        {"fragment without its name",
         [this](const Root& r) { patch<Fragment>(r.fragmentTable, [](Fragment& f) { f.nameId = 99; }); },
         fragmentsRefused, L"", false, false},
        {"scenario value 0",
         [this](const Root& r) { patch<Scenario>(r.scenarioTable, [](Scenario& s) { s.value = 0; }); },
         scenariosRefused, L"", false, false},
        {"scenario value 256",
         [this](const Root& r) { patch<Scenario>(r.scenarioTable, [](Scenario& s) { s.value = 256; }); },
         scenariosRefused, L"", false, false},
        {"scenario of a missing gong",
         [this](const Root& r) { patch<Scenario>(r.scenarioTable, [](Scenario& s) { s.gongId = 9; }); },
         scenariosRefused, L"", false, false},
        {"root checksum", [this](const Root&) { patch<Root>(0, [](Root& r) { r.checksum ^= 1; }); }, violated,
         L"incorrect checksum of root", false, false},
        // Ids count from 1 here: the version-4 slots were in place for the first load.
        {"fragment id 0",
         [this](const Root& r) {
             patch<Fragment>(r.fragmentTable + 2 * Fragment::size, [](Fragment& f) { f.id = 0; });
         },
         violated, L"incorrect fragment helper", true, false},
        {"play number above 255",
         [this](const Root& r) {
             patch<Fragment>(r.fragmentTable + 2 * Fragment::size, [](Fragment& f) { f.order = 300; });
         },
         violated, L"incorrect fragment helper", true, false},
        {"fragment data among the tables",
         [this](const Root& r) {
             patch<Fragment>(r.fragmentTable + 2 * Fragment::size, [](Fragment& f) { f.address = 30; });
         },
         violated, L"incorrect fragment.", true, false},
        {"name with a control character",
         [this](const Root& r) {
             flash_->flash().load(recordAt<Name>(r.nameTable + 2 * Name::size).address, "\x01");
         },
         violated, L"a name has non printable char", true, false},
        {"fragment data changed",
         [this](const Root& r) {
             const Fragment f = recordAt<Fragment>(r.fragmentTable);
             flash_->flash().load(
                 f.address, std::string(1, static_cast<char>(~(*flash_->flash().read(f.address, 1))[0])));
         },
         violated, L"checksum mismatch", false, true},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        startDevice(size);
        flash_->flash().setStrict(false);
        auto written = memory(true);
        written->addFragment(bytesOf(600, 1), L"Гонг");
        written->addFragment(bytesOf(30, 2), L"Пожар");
        written->addFragment(bytesOf(20, 3), L"Test");
        written->addScenario(1, 2, 10, L"Эвакуация");
        ASSERT_EQ(write(*written).back(), 100);
        emulated_->clearReceived();

        damage.spoil(flashRoot());
        if (damage.checksumFixed) fixChecksum();
        const std::wstring message = thrownMessage([&] {
            auto read = memory(false);
            if (damage.readData) read->getFragmentFile(1);
        });
        EXPECT_EQ(message, damage.message);
        if (*damage.logged) {
            EXPECT_TRUE(capture_.contains(damage.logged, L"ERROR"));
        }
        expectReadsInside(size);
    }
}

// A read in two pieces whose first answer is a byte too long and whose second is a byte too
// short adds up to the size asked, and is still refused.
TEST_F(AudioMemoryLayoutTest, EveryPieceOfAReadMustBeAsLongAsAsked) {
    auto written = memory(true);
    written->addFragment(bytesOf(1000, 7), L"A");
    ASSERT_EQ(write(*written).back(), 100);
    const std::uint32_t address = recordAt<Fragment>(24).address;
    const auto hexAt = [&](std::uint32_t at, std::uint32_t count) {
        const std::string bytes = *flash_->flash().read(at, count);
        return okReply("voiceMemRead", base::toHex(bytes.data(), bytes.size()));
    };
    char first[40];
    char second[40];
    std::snprintf(first, sizeof first, "voiceMemRead %08X 512", address);
    std::snprintf(second, sizeof second, "voiceMemRead %08X 488", address + 512);
    emulated_->on(first, [&](const std::string&) { return std::optional<std::string>(hexAt(address, 513)); });
    emulated_->on(second,
                  [&](const std::string&) { return std::optional<std::string>(hexAt(address + 513, 487)); });
    EXPECT_EQ(thrownMessage([&] { memory(false)->getFragmentFile(1); }),
              L"Internal error / Ошибка чтения из аудио флеш.\nРазмер запрашиваемых данных не соответствует "
              L"полученным");
}

// Random memories are written, read back by a memory of their own, and written again from
// it: the second flash is byte for byte the first.
TEST_F(AudioMemoryLayoutTest, RoundTripsOfGeneratedMemoriesAreByteIdentical) {
    std::mt19937 random(20240611);
    const std::wstring alphabet = L"abcXYZ019 -_№АБВабвЯя";
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    const auto nameOf = [&](int index) {
        std::wstring name;
        for (std::uint32_t n = pick(0, 8); n > 0; --n) name += alphabet[pick(0, alphabet.size() - 1)];
        return name + std::to_wstring(index);
    };
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const std::uint32_t size = pick(512, 8192);
        flash_->flash().erase();
        flash_->setReportedSize(std::to_string(size));

        auto written = memory(true);
        std::map<std::int16_t, std::string> data;
        try {
            for (std::uint32_t n = pick(0, 6); n > 0; --n) {
                const std::string bytes = bytesOf(pick(1, 900), pick(0, 1000));
                data[written->addFragment(bytes, nameOf(static_cast<int>(data.size())))] = bytes;
            }
            for (std::uint32_t n = data.empty() ? 0 : pick(0, 4); n > 0; --n) {
                const auto gong = std::next(data.begin(), pick(0, data.size() - 1))->first;
                const auto message = std::next(data.begin(), pick(0, data.size() - 1))->first;
                written->addScenario(gong, message, static_cast<std::uint16_t>(pick(0, 600)),
                                     nameOf(100 + n));
            }
        } catch (const exception::UserResponse& refusal) {
            ASSERT_EQ(refusal.message, L"littleMemory");
        }
        if (!data.empty() && pick(0, 1) == 1 && written->getScenarios().empty()) {
            const std::int16_t removed = data.begin()->first;
            written->removeFragment(removed);
            data.erase(removed);
        }
        ASSERT_EQ(write(*written).back(), 100);
        const std::string first = flash_->flash().contents().substr(0, size);

        auto read = memory(false);
        ASSERT_EQ(read->getFragments().size(), data.size());
        for (const auto& entry : written->getFragments()) {
            const auto other = read->getFragment(entry.id);
            EXPECT_EQ(other.order, entry.order);
            EXPECT_EQ(other.name, entry.name);
            EXPECT_EQ(read->getFragmentFile(entry.id), data[entry.id]);
        }
        ASSERT_EQ(read->getScenarios().size(), written->getScenarios().size());
        for (const auto& entry : written->getScenarios()) {
            const auto other = read->getScenario(entry.id);
            EXPECT_EQ(other.name, entry.name);
            EXPECT_EQ(other.gongId, entry.gongId);
            EXPECT_EQ(other.fragmentId, entry.fragmentId);
            EXPECT_EQ(other.repeatPeriod, entry.repeatPeriod);
            EXPECT_EQ(other.order, entry.order);
        }
        EXPECT_EQ(read->getHash(), written->getHash());

        // Laid out again from what was read: an edit undone gives the same flash.
        if (read->getSizeOfFreeMemory() < 64) continue;
        read->removeFragment(read->addFragment("x", L"временный"));
        ASSERT_EQ(write(*read).back(), 100);
        EXPECT_EQ(flash_->flash().contents().substr(0, size), first);
    }
}

}  // namespace
}  // namespace test
