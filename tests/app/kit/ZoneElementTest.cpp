#include <gtest/gtest.h>

#include <functional>

#include "app/kit/ListCtrlProvider.h"
#include "app/kit/RowEdits.h"
#include "app/kit/ZoneElement.h"
#include "devices/VokarInfo.h"
#include "foundation/Storage.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"

namespace {

using frm::ZoneElement;

class Zones : public ::testing::Test {
protected:
    ZoneElement::DevicePtr loudspeaker(int number) {
        char address[18];
        std::snprintf(address, sizeof address, "02:7E:41:00:00:%02X", number);
        return device::VokarInfo::create(static_cast<std::uint32_t>(number), device::types::vokarB,
                                         net::HardwareAddress(address), net::IpAndPort("127.0.0.2", port_),
                                         L"", transport_, nullptr);
    }
    ZoneElement::DevicePtr byAddress(const net::HardwareAddress& address) {
        for (const auto& device : devices_) {
            if (device->getHardwareAddress().getLow() == address.getLow()) return device;
        }
        return nullptr;
    }

    test::LogCapture log_;
    const std::uint16_t port_ = test::freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_ =
        std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
    std::vector<ZoneElement::DevicePtr> devices_ = {loudspeaker(1), loudspeaker(2), loudspeaker(3)};
    ZoneElement::ZonePtr root_ = ZoneElement::makeRoot();
};

TEST_F(Zones, ChangesThatWouldTakeTheFilePastItsBoundAreRefused) {
    // A zone whose long name leaves the file 200 bytes short of its bound.
    const auto hall = root_->createZone(*root_, L"Зал");
    const std::size_t room = 200;
    hall->rename(hall->name +
                 std::wstring(ZoneElement::kMaximumFileSize - room - root_->writtenSize(), L'z'));
    ASSERT_EQ(storage::xmlText(root_->toTree()).size(), ZoneElement::kMaximumFileSize - room);
    struct Row {
        const char* change;
        std::function<bool()> takes;
        std::function<void()> make;
        bool taken;
    };
    // Each device writes 37 bytes, and the zone's element gains its end tag with the first.
    const auto add = [&](std::vector<ZoneElement::DevicePtr> devices) {
        return [=] { return root_->takesDevices(*hall, devices); };
    };
    const auto rename = [&](std::size_t longer) {
        return [=] { return root_->takesRename(*hall, hall->name + std::wstring(longer, L'z')); };
    };
    const auto volume = [&](int percent) { return [=] { return root_->takesVolume(*hall, percent); }; };
    const auto fourth = loudspeaker(4);
    const Row rows[] = {
        {"the zone's first three loudspeakers", add(devices_), [&] { hall->addDevices(devices_); }, true},
        {"one it holds and one new", add({devices_[0], fourth}), [&] { hall->addDevices({fourth}); }, true},
        {"two new, 74 bytes of the 46 left", add({loudspeaker(5), loudspeaker(6)}), nullptr, false},
        {"a name 47 bytes longer", rename(47), nullptr, false},
        {"a name 46 bytes longer", rename(46), [&] { hall->rename(hall->name + std::wstring(46, L'z')); },
         true},
        {"a volume of its own, a byte longer than none", volume(100), nullptr, false},
        {"a volume of 5, a byte shorter", volume(5), [&] { hall->setVolume(5); }, true},
        {"a volume of 100 instead of 5", volume(100), nullptr, false},
        {"a zone of its own", [&] { return root_->takesZone(*hall, L"Ещё одна"); }, nullptr, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.takes(), row.taken) << row.change;
        if (row.taken) row.make();
    }
    EXPECT_EQ(root_->writtenSize(), ZoneElement::kMaximumFileSize - 1);
    EXPECT_EQ(storage::xmlText(root_->toTree()).size(), ZoneElement::kMaximumFileSize - 1);
    EXPECT_TRUE(log_.contains(L"Устройства не добавлены в зону: с этим файл зон занял бы 9 МБ", L"WARN"));
    EXPECT_TRUE(log_.contains(L"Зона не переименована: с этим файл зон занял бы 9 МБ", L"WARN"));
    EXPECT_TRUE(log_.contains(L"Громкость зоны не изменена: с этим файл зон занял бы 9 МБ", L"WARN"));
    EXPECT_TRUE(log_.contains(L"Зона не создана: с этим файл зон занял бы 9 МБ", L"WARN"));
}

// The size the tree keeps as it changes is its file's, after every kind of change, so that the
// check against the bound never needs the whole tree.
TEST_F(Zones, TheCountedSizeIsTheFilesAfterEachChange) {
    ZoneElement::ZonePtr hall, stage;
    ZoneElement::ZonePtr tree = root_;
    const auto unknownLast = [&](const net::HardwareAddress& address) {
        const auto device = byAddress(address);
        return device == devices_[2] ? nullptr : device;
    };
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"a zone", [&] { hall = root_->createZone(*root_, L"Зал «Малый»"); }},
        {"a zone in it", [&] { stage = root_->createZone(*hall, L"Сцена"); }},
        {"its first devices",
         [&] {
             stage->addDevices({devices_[0], devices_[2]});
         }},
        {"a volume", [&] { stage->setVolume(100); }},
        {"a rename", [&] { stage->rename(L"Сцена & <хор>"); }},
        {"a device removed", [&] { stage->removeDevices({devices_[0]}, nullptr); }},
        {"the zone in a zone, with its device, deleted", [&] { root_->deleteZone(*stage); }},
        {"the deleted zone changed",
         [&] {
             stage->addDevices({devices_[1]});
             stage->rename(L"вне дерева");
         }},
        {"a zone again, with a device the registry does not know yet",
         [&] {
             root_->createZone(*hall, L"Балкон")->addDevices({devices_[2]});
             tree = ZoneElement::fromTree(root_->toTree(), unknownLast);
         }},
        {"that device known", [&] { tree->adopt(devices_[2]); }},
        {"a copy", [&] { tree = tree->copy(); }},
        {"the copy changed", [&] { tree->zones[0]->zones[0]->removeDevices({devices_[2]}, nullptr); }},
    };
    for (const auto& [change, make] : changes) {
        make();
        EXPECT_EQ(tree->writtenSize(), storage::xmlText(tree->toTree()).size()) << change;
        EXPECT_EQ(root_->writtenSize(), storage::xmlText(root_->toTree()).size()) << change;
    }
}

TEST_F(Zones, CreateRenameNestAndDelete) {
    EXPECT_EQ(ZoneElement::validName(L"  Зал \t"), L"Зал");
    EXPECT_EQ(ZoneElement::validName(L"   "), L"");
    EXPECT_EQ(ZoneElement::validName(std::wstring(ZoneElement::kMaximumNameLength + 1, L'я')), L"");

    const auto hall = root_->createZone(*root_, L" Зал ");
    ASSERT_TRUE(hall);
    EXPECT_TRUE(hall->built);
    EXPECT_EQ(hall->name, L"Зал");
    EXPECT_FALSE(root_->createZone(*root_, L""));
    ZoneElement stranger;
    EXPECT_FALSE(root_->createZone(stranger, L"Чужая"));  // not a zone of this tree

    ZoneElement::ZonePtr deepest = hall;
    for (int depth = 2; depth <= ZoneElement::kMaximumDepth; ++depth)
        deepest = root_->createZone(*deepest, L"z");
    ASSERT_TRUE(deepest);
    EXPECT_EQ(root_->depthOf(*deepest), ZoneElement::kMaximumDepth);
    EXPECT_FALSE(root_->createZone(*deepest, L"слишком глубоко"));

    EXPECT_FALSE(root_->deleteZone(*root_));
    EXPECT_TRUE(root_->deleteZone(*deepest));
    EXPECT_TRUE(root_->deleteZone(*hall));  // with everything nested in it
    EXPECT_TRUE(root_->zones.empty());
    EXPECT_FALSE(root_->deleteZone(*hall));
}

TEST_F(Zones, DevicesVolumeAndTheScheduleCheck) {
    const auto hall = root_->createZone(*root_, L"Зал");
    const auto stage = root_->createZone(*hall, L"Сцена");
    EXPECT_EQ(hall->addDevices({devices_[0], devices_[1], devices_[0], nullptr}), 2u);
    EXPECT_EQ(stage->addDevices({devices_[1], devices_[2]}), 2u);
    EXPECT_EQ(hall->collectDevices(),
              (std::vector<ZoneElement::DevicePtr>{devices_[0], devices_[1], devices_[2]}));

    // The chosen devices first, then those of the chosen zones, each once.
    EXPECT_EQ(frm::ListCtrlProvider::combine({devices_[2]}, {stage, hall}),
              (std::vector<ZoneElement::DevicePtr>{devices_[2], devices_[1], devices_[0]}));
    EXPECT_TRUE(frm::ListCtrlProvider::combine({}, {}).empty());

    const auto usedBySchedule = [&](const ZoneElement::DevicePtr& device) { return device == devices_[1]; };
    EXPECT_EQ(hall->removeDevices({devices_[0], devices_[1], devices_[2]}, usedBySchedule),
              std::vector<ZoneElement::DevicePtr>{devices_[1]});
    EXPECT_EQ(hall->devices, std::vector<ZoneElement::DevicePtr>{devices_[1]});
    EXPECT_TRUE(hall->removeDevices({devices_[1]}, nullptr).empty());  // no schedule: nothing is kept
    EXPECT_TRUE(hall->devices.empty());

    const std::pair<int, int> volumes[] = {{50, 50}, {-5, 0}, {140, 100}};
    for (const auto& [set, stored] : volumes) {
        hall->setVolume(set);
        EXPECT_EQ(hall->volume, stored);
    }
}

TEST_F(Zones, FileRoundTripKeepsNestingVolumesAndDevicesNotYetKnown) {
    const auto hall = root_->createZone(*root_, L"Зал «Малый»");
    const auto stage = root_->createZone(*hall, L"Сцена");
    hall->setVolume(70);
    hall->addDevices({devices_[0]});
    stage->addDevices({devices_[1], devices_[2]});

    // Read back while the registry knows only the first two devices.
    const auto known = [&](const net::HardwareAddress& address) {
        const auto device = byAddress(address);
        return device == devices_[2] ? nullptr : device;
    };
    const ZoneElement::ZonePtr loaded = ZoneElement::fromTree(root_->toTree(), known);
    EXPECT_EQ(root_->writtenSize(), storage::xmlText(root_->toTree()).size());
    EXPECT_EQ(loaded->writtenSize(), storage::xmlText(loaded->toTree()).size());
    EXPECT_EQ(loaded->name, ZoneElement::kRootName);
    ASSERT_EQ(loaded->zones.size(), 1u);
    const ZoneElement& hallRead = *loaded->zones[0];
    EXPECT_EQ(hallRead.name, L"Зал «Малый»");
    EXPECT_EQ(hallRead.volume, 70);
    EXPECT_EQ(hallRead.devices, std::vector<ZoneElement::DevicePtr>{devices_[0]});
    ASSERT_EQ(hallRead.zones.size(), 1u);
    EXPECT_EQ(hallRead.zones[0]->volume, ZoneElement::kNoVolume);
    EXPECT_EQ(hallRead.zones[0]->devices, std::vector<ZoneElement::DevicePtr>{devices_[1]});
    EXPECT_EQ(hallRead.zones[0]->unknownDevices.size(), 1u);
    // Saved again before the device appears, it is not lost.
    EXPECT_EQ(loaded->toTree(), root_->toTree());
    // The zones without a volume of their own are read back without a word.
    EXPECT_TRUE(log_.find(L"Получен неверный тип для целочисленного значения").empty());

    EXPECT_TRUE(loaded->adopt(devices_[2]));
    EXPECT_EQ(hallRead.zones[0]->devices.back(), devices_[2]);
    EXPECT_TRUE(hallRead.zones[0]->unknownDevices.empty());
    EXPECT_FALSE(loaded->adopt(devices_[2]));
}

TEST_F(Zones, FileValuesAreNotTrusted) {
    boost::property_tree::wptree tree;
    auto& zone = tree.add_child(L"zone_collection.zone", {});
    zone.put(L"<xmlattr>.name", L"корень из файла");
    auto& child = zone.add_child(L"zone", {});
    child.put(L"<xmlattr>.name", std::wstring(500, L'я'));
    child.put(L"<xmlattr>.volume", L"1e3");
    child.add_child(L"device", {}).put(L"<xmlattr>.address", L"02:7E:41:00:00");
    child.add_child(L"device", {}).put(L"<xmlattr>.address", L"02:7e:41:00:00:01");
    // Zones nested deeper than one can make them are left out.
    auto* nested = &child;
    for (int depth = 2; depth <= ZoneElement::kMaximumDepth + 3; ++depth)
        nested = &nested->add_child(L"zone", {});
    const ZoneElement::ZonePtr loaded =
        ZoneElement::fromTree(tree, [&](const auto& a) { return byAddress(a); });
    int depth = 0;
    for (const ZoneElement* z = loaded.get(); !z->zones.empty(); z = z->zones.back().get()) ++depth;
    EXPECT_EQ(depth, ZoneElement::kMaximumDepth);
    EXPECT_EQ(loaded->name, ZoneElement::kRootName);
    ASSERT_EQ(loaded->zones.size(), 1u);
    EXPECT_EQ(loaded->zones[0]->name.size(), ZoneElement::kMaximumNameLength);
    EXPECT_EQ(loaded->zones[0]->volume, ZoneElement::kNoVolume);
    EXPECT_EQ(loaded->zones[0]->devices, std::vector<ZoneElement::DevicePtr>{devices_[0]});
    EXPECT_TRUE(log_.contains(L"с неверным адресом '02:7E:41:00:00' пропущено", L"WARN"));
    EXPECT_TRUE(log_.contains(L"Получен неверный тип для целочисленного значения 1e3", L"EXTERN"));
    EXPECT_TRUE(ZoneElement::fromTree({}, nullptr)->zones.empty());
}

}  // namespace

// The zone tree and the task list change only the rows that changed: the edits from the keys of
// the rows shown to those wanted, written as "k" kept, "i" inserted, "e" erased with the row's
// index at that moment.
TEST(RowEdits, OnlyTheRowsThatChangedAreTouched) {
    const struct {
        const char* name;
        std::vector<int> shown;
        std::vector<int> wanted;
        const char* edits;
    } rows[] = {
        {"the same rows, a rename among them", {1, 2, 3}, {1, 2, 3}, "k0 k1 k2"},
        {"one added at the end", {1, 2}, {1, 2, 3}, "k0 k1 i2"},
        {"one added in the middle", {1, 3}, {1, 2, 3}, "k0 i1 k2"},
        {"one gone from the middle", {1, 2, 3}, {1, 3}, "k0 e1 k1"},
        {"the last gone", {1, 2, 3}, {1, 2}, "k0 k1 e2"},
        {"all gone", {1, 2}, {}, "e0 e0"},
        {"all new", {}, {1, 2}, "i0 i1"},
        {"swapped", {1, 2}, {2, 1}, "i0 k1 e2"},
        {"replaced", {1, 2}, {3, 4}, "e0 e0 i0 i1"},
    };
    for (const auto& row : rows) {
        std::string edits;
        std::vector<int> list = row.shown;
        for (const frm::RowEdit& edit : frm::rowEdits(row.shown, row.wanted)) {
            const auto at = list.begin() + static_cast<std::ptrdiff_t>(edit.row);
            if (edit.kind == frm::RowEdit::erase) {
                list.erase(at);
            } else if (edit.kind == frm::RowEdit::insert) {
                list.insert(at, row.wanted[edit.wanted]);
            } else {
                EXPECT_EQ(*at, row.wanted[edit.wanted]) << row.name;
            }
            edits += (edits.empty() ? "" : " ") + std::string(1, "eik"[edit.kind]) + std::to_string(edit.row);
        }
        EXPECT_EQ(edits, row.edits) << row.name;
        EXPECT_EQ(list, row.wanted) << row.name;
    }
}
