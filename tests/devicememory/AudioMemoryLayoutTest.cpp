// The flash layouts. Version 4: the bytes a write sends, how a flash of each kind of damage is
// refused without reading past its end, and round trips of generated memories. Version 2 of the
// first loudspeakers: its records, UTF-16 names, ids counted from 0, the write without erase and
// the rule that keeps its fragment ids a chain. Version 3: the version-4 records with 3 in the
// root, counted from 0.

#include <cstdio>
#include <functional>
#include <random>

#include "AudioMemoryFixture.h"
#include "devicememory/AudioMemoryImage.h"
#include "devicememory/Crc32Mpeg2.h"
#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"
#include "foundation/HexText.h"
#include "support/LoudspeakerEmulator.h"

namespace test {
namespace {

using device::v4::memory::Fragment;
using device::v4::memory::Name;
using device::v4::memory::Root;
using device::v4::memory::Scenario;

const std::wstring rootRefused = L"Ошибка в структуре аудио памяти. Некорректная загрузочная запись";
const std::wstring namesRefused = L"Ошибка в структуре аудио памяти (Загрузка наименований)";
const std::wstring fragmentsRefused = L"Ошибка в структуре аудио памяти (Загрузка фрагментов)";
const std::wstring scenariosRefused = L"Ошибка в структуре аудио памяти (Загрузка сообщений)";
const std::wstring outsideRead = L"Internal error / Область чтения за пределами аудио памяти";
const std::wstring violated = L"Internal error / Violated audio memory invariant";
const std::wstring unknownVersion = L"unknownVersion / Устройство имеет неизвестную версию аудио памяти";

// The hex text of a 32-bit number as it lies in the flash.
std::string littleEndianHex(std::uint32_t value) {
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value >> 16),
                                  static_cast<std::uint8_t>(value >> 24)};
    return base::toHex(bytes, 4);
}

// The program command of `bytes` at `address`.
std::string programOf(const char* word, std::uint32_t address, const std::string& bytes) {
    char head[48];
    std::snprintf(head, sizeof head, "%s %08X %u ", word, address, static_cast<unsigned>(bytes.size()));
    return head + base::toHex(bytes.data(), bytes.size());
}

class AudioMemoryLayoutTest : public AudioMemoryFixture {
protected:
    template <class Record>
    void patch(std::uint32_t address, const std::function<void(Record&)>& change) {
        Record record = recordAt<Record>(address);
        change(record);
        put(address, record);
    }
    // A change of the record `index` of the table of Record that the flash's root names.
    template <class Record>
    std::function<void()> spoil(std::uint32_t index, std::function<void(Record&)> change) {
        return [this, index, change] {
            const Root root = flashRoot();
            std::uint32_t table = 0;
            if constexpr (std::is_same_v<Record, Fragment>) table = root.fragmentTable;
            if constexpr (std::is_same_v<Record, Scenario>) table = root.scenarioTable;
            if constexpr (std::is_same_v<Record, Name>) table = root.nameTable;
            patch<Record>(table + index * Record::size, change);
        };
    }
    // The root checksum of what the flash holds, as a write would store it.
    void fixChecksum() {
        Root root = recordAt<Root>(0);
        root.checksum = 0;
        std::uint8_t bytes[Root::size];
        root.write(bytes);
        const std::string tables = *flash_->flash().read(
            root.fragmentTable, Fragment::size * root.fragmentCount + Scenario::size * root.scenarioCount);
        root.checksum =
            device::crc32Mpeg2(tables.data(), tables.size(), device::crc32Mpeg2(bytes, Root::size));
        put(0, root);
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
    // Longer than one step of eight bytes, whole and continued after an odd split.
    std::string bytes(1000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    EXPECT_EQ(device::crc32Mpeg2(bytes.data(), bytes.size()), 0x21A89BCBu);
    EXPECT_EQ(device::crc32Mpeg2(bytes.data() + 13, bytes.size() - 13, device::crc32Mpeg2(bytes.data(), 13)),
              0x21A89BCBu);
}

// One fragment of 100 bytes named "A" (name id 2: names count on from the first id) in a flash
// of M = 0x4000 bytes: the tables at the bottom, the data at M - 101, the root with its checksum
// last.
TEST_F(AudioMemoryLayoutTest, SendsTheTablesAtTheBottomAndTheDataAtTheTop) {
    // An erased flash is an empty memory.
    const auto empty = memory(false);
    EXPECT_TRUE(empty->getFragments().empty());
    EXPECT_FALSE(empty->hasChanges());
    const std::string data = bytesOf(100, 5);
    auto written = memory(true);
    EXPECT_EQ(written->getSizeOfFreeMemory(), kFlashSize);
    written->addFragment(data, L"A");
    EXPECT_EQ(written->getSizeOfFreeMemory(), kFlashSize - (24 + 28 + 100 + 2) - 1);
    EXPECT_EQ(write(*written).back(), 100);

    // Id, play number, data address, size, checksum, name id; the root's checksum covers it.
    const std::string fragment =
        "010001009B3F000064000000" + littleEndianHex(device::crc32Mpeg2(data.data(), 100)) + "0200";
    const std::string root = "04001800000001002A00000000002A0000000100";
    std::string covered;
    base::fromHex(root + "00000000" + fragment, covered);
    const std::string checksum = littleEndianHex(device::crc32Mpeg2(covered.data(), covered.size()));
    EXPECT_EQ(programs(), (std::vector<std::string>{"voiceMemProgram 00000000 24 " + std::string(48, 'F'),
                                                    "voiceMemProgram 00000018 18 " + fragment,
                                                    "voiceMemProgram 0000002A 12 020034000000020000004100",
                                                    programOf("voiceMemProgram", 0x3F9B, data),
                                                    "voiceMemProgram 00000000 24 " + root + checksum}));
    EXPECT_EQ(*flash_->flash().read(kFlashSize - 1, 1), "\xFF");
    // A blank memory ignores what the flash holds.
    EXPECT_TRUE(memory(true)->getFragments().empty());
}

struct Damage {
    const char* name;
    std::function<void()> spoil;
    std::wstring message;         // of the exception
    const wchar_t* logged = L"";  // a line the check writes, or empty
    bool checksumFixed = false;
    bool readData = false;  // the damage shows once the fragments' data is read
};

TEST_F(AudioMemoryLayoutTest, RefusesEveryKindOfDamageWithoutReadingPastTheEnd) {
    const auto onRoot = [this](std::function<void(Root&)> change) {
        return [this, change] { patch<Root>(0, change); };
    };
    const auto flipFirstDataByte = [this] {
        const Fragment f = recordAt<Fragment>(flashRoot().fragmentTable);
        flash_->flash().load(f.address,
                             std::string(1, static_cast<char>(~(*flash_->flash().read(f.address, 1))[0])));
    };
    const auto nameText = [this](std::uint32_t index, std::string text) {
        return [this, index, text] {
            flash_->flash().load(recordAt<Name>(flashRoot().nameTable + index * Name::size).address, text);
        };
    };
    // Fragments 1, 2 and 3 and one scenario of fragments 1 and 2.
    const Damage damages[] = {
        {"another version", onRoot([](Root& r) { r.version = 3; }), unknownVersion},
        {"names do not add up", onRoot([](Root& r) { ++r.nameCount; }), rootRefused},
        {"fragment table beyond the flash", onRoot([](Root& r) { r.fragmentTable = kFlashSize; }),
         rootRefused},
        {"fragment table longer than the flash", onRoot([](Root& r) {
             r.fragmentCount = 1000;
             r.nameCount = 1001;
         }),
         rootRefused},
        {"fragment table running past the end", onRoot([](Root& r) { r.fragmentTable = kFlashSize - 40; }),
         outsideRead},
        {"name text beyond the flash", spoil<Name>(0, [](Name& n) { n.address = kFlashSize; }), namesRefused},
        {"empty name", spoil<Name>(0, [](Name& n) { n.length = 0; }), namesRefused},
        {"name running past the end",
         spoil<Name>(0,
                     [](Name& n) {
                         n.address = kFlashSize - 3;
                         n.length = 10;
                     }),
         outsideRead},
        {"name that is not UTF-8", nameText(0, "\xC3\x28"),
         L"Ошибка в структуре аудио памяти. Некорректное название"},
        {"fragment data beyond the flash", spoil<Fragment>(0, [](Fragment& f) { f.address = kFlashSize; }),
         fragmentsRefused},
        {"fragment without its name", spoil<Fragment>(0, [](Fragment& f) { f.nameId = 99; }),
         fragmentsRefused},
        {"scenario value 0", spoil<Scenario>(0, [](Scenario& s) { s.value = 0; }), scenariosRefused},
        {"scenario value 256", spoil<Scenario>(0, [](Scenario& s) { s.value = 256; }), scenariosRefused},
        {"scenario of a missing gong", spoil<Scenario>(0, [](Scenario& s) { s.gongId = 9; }),
         scenariosRefused},
        {"root checksum", onRoot([](Root& r) { r.checksum ^= 1; }), violated, L"incorrect checksum of root"},
        // Ids count from 1 here: the version-4 slots were in place for the first load.
        {"fragment id 0", spoil<Fragment>(2, [](Fragment& f) { f.id = 0; }), violated,
         L"incorrect fragment helper", true},
        {"play number above 255", spoil<Fragment>(2, [](Fragment& f) { f.order = 300; }), violated,
         L"incorrect fragment helper", true},
        {"fragment data among the tables", spoil<Fragment>(2, [](Fragment& f) { f.address = 30; }), violated,
         L"incorrect fragment.", true},
        {"name with a control character", nameText(2, "\x01"), violated, L"a name has non printable char",
         true},
        {"fragment data changed", flipFirstDataByte, violated, L"checksum mismatch", false, true},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        startDevice(kFlashSize);
        flash_->flash().setStrict(false);
        auto written = memory(true);
        written->addFragment(bytesOf(600, 1), L"Гонг");
        written->addFragment(bytesOf(30, 2), L"Пожар");
        written->addFragment(bytesOf(20, 3), L"Test");
        written->addScenario(1, 2, 10, L"Эвакуация");
        ASSERT_EQ(write(*written).back(), 100);
        emulated_->clearReceived();

        damage.spoil();
        if (damage.checksumFixed) fixChecksum();
        EXPECT_EQ(thrownMessage([&] {
                      auto read = memory(false);
                      if (damage.readData) read->getFragmentFile(1);
                  }),
                  damage.message);
        if (*damage.logged) {
            EXPECT_TRUE(capture_.contains(damage.logged, L"ERROR"));
        }
        expectReadsInside(kFlashSize);
    }
}

// A read in two pieces whose first answer is a byte too long and whose second is a byte too
// short adds up to the size asked, and is still refused.
TEST_F(AudioMemoryLayoutTest, EveryPieceOfAReadMustBeAsLongAsAsked) {
    auto written = memory(true);
    written->addFragment(bytesOf(1000, 7), L"A");
    ASSERT_EQ(write(*written).back(), 100);
    const std::uint32_t address = recordAt<Fragment>(24).address;
    const auto answer = [&](std::uint32_t asked, std::uint32_t at, std::uint32_t count) {
        char request[40];
        std::snprintf(request, sizeof request, "voiceMemRead %08X %u", address + asked, asked ? 488 : 512);
        emulated_->on(request, [this, at, count](const std::string&) {
            const std::string bytes = *flash_->flash().read(at, count);
            return std::optional<std::string>(
                okReply("voiceMemRead", base::toHex(bytes.data(), bytes.size())));
        });
    };
    answer(0, address, 513);
    answer(512, address + 513, 487);
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
            written->removeFragment(data.begin()->first);
            data.erase(data.begin());
        }
        ASSERT_EQ(write(*written).back(), 100);
        const std::string first = flash_->flash().contents().substr(0, size);

        auto read = memory(false);
        EXPECT_EQ(contentsOf(*read), contentsOf(*written));
        for (const auto& [id, bytes] : data) EXPECT_EQ(read->getFragmentFile(id), bytes);

        // Laid out again from what was read: an edit undone gives the same flash.
        if (read->getSizeOfFreeMemory() < 64) continue;
        read->removeFragment(read->addFragment("x", L"временный"));
        ASSERT_EQ(write(*read).back(), 100);
        EXPECT_EQ(flash_->flash().contents().substr(0, size), first);
    }
}

// ---------------------------------------------------------------------------------------------
// Version 2.

using device::v2::memory::fragment_t;
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
    auto written = memory2(true);
    EXPECT_EQ(written->getSizeOfFreeMemory(), kFlashSize);
    const std::string data = bytesOf(1000, 4);
    EXPECT_EQ(written->addFragment(data, L"Abc"), 0);
    EXPECT_EQ(written->getFragment(0).order, 0);
    EXPECT_EQ(written->getSizeOfFreeMemory(), kFlashSize - (19 + 20 + 1000 + 6) - 1);
    EXPECT_EQ(write(*written), (std::vector<int>{16, 33, 50, 66, 83, 100}));

    // The data lies at M - 1001 = 0x3C17; the fragment's and the name's records and the name
    // "Abc" in UTF-16.
    EXPECT_EQ(programs("aflash "),
              (std::vector<std::string>{"aflash 00000000 19 " + std::string(38, 'F'),
                                        "aflash 00000013 10 173C0000E80300000100",
                                        "aflash 0000001D 16 01000300000027000000410062006300",
                                        programOf("aflash", 0x3C17, data.substr(0, 512)),
                                        programOf("aflash", 0x3C17 + 512, data.substr(512)),
                                        "aflash 00000000 19 021300000001001D00000000001D0000000100"}));
    EXPECT_EQ(*flash_->flash().read(kFlashSize - 1, 1), "\xFF");

    auto read = memory2(false);
    EXPECT_EQ(read->getFragment(0).name, L"Abc");
    EXPECT_EQ(read->getFragmentFile(0), data);
    read->playFragment(0);
    EXPECT_EQ(emulated_->received().back(), "aplay 0");
}

TEST_F(AudioMemoryVersion2Test, LoadsOnlyASoundFlashOfItsVersion) {
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
        {"version 3", [&] { put(0, root(3, 0, 0, 0)); }, unknownVersion},
        {"version 4", [&] { put(0, root(4, 0, 0, 0)); }, unknownVersion},
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
// counted from 0. Versions 3 and 4 refuse each other's flash.
TEST_F(AudioMemoryFixture, Version3CountsFromZero) {
    const auto memory3 = [this](bool blank) {
        return device::v3::memory::AudioMemory::create(device_, transport_, nullptr, blank);
    };
    auto written = memory3(true);
    EXPECT_EQ(written->addFragment(bytesOf(500, 1), L"Гонг"), 0);
    EXPECT_EQ(written->addFragment(bytesOf(200, 2), L"Пожар"), 1);
    EXPECT_EQ(written->addScenario(0, 1, 15, L"Эвакуация"), 0);
    ASSERT_EQ(write(*written).back(), 100);
    // Version 3; the second fragment record's id and play number.
    EXPECT_EQ(*flash_->flash().read(0, 2), std::string("\3\0", 2));
    EXPECT_EQ(*flash_->flash().read(24 + 18, 4), std::string("\1\0\1\0", 4));

    auto read = memory3(false);
    EXPECT_EQ(read->getHash(), written->getHash());
    EXPECT_EQ(read->getScenario(0).order, 0);
    read->playScenario(0);
    EXPECT_EQ(emulated_->received().back(), "voicePlaySc 0");

    flash_->setPlaying(false);
    EXPECT_EQ(thrownMessage([&] { memory(false); }), unknownVersion);
    ASSERT_EQ(write(*memory(true)).back(), 100);
    EXPECT_EQ(thrownMessage([&] { memory3(false); }), unknownVersion);
}

}  // namespace
}  // namespace test
