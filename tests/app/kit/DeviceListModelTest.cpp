#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/kit/DeviceListModel.h"
#include "devicelink/DeviceBase.h"

namespace {

using Model = frm::DeviceListModel;

frm::DeviceView view(bool online, bool responding, std::int32_t volume, bool console = false) {
    frm::DeviceView device;
    device.hardwareAddress = "02:7E:41:00:00:01";
    device.name = L"Вестибюль";
    device.ip = "127.0.0.2";
    device.typeText = "Vokar-B";
    device.versionText = "Vokar-B 2.01.03.17 [2023-04-05 10:11:12]";
    device.console = console;
    device.online = online;
    device.responding = responding;
    device.volume = volume;
    return device;
}

TEST(DeviceListModel, RowOfEachDeviceState) {
    struct Case {
        frm::DeviceView device;
        const wchar_t* state;
        const wchar_t* volume;
        int image;
        unsigned char red;
    };
    const Case cases[] = {
        {view(true, true, 48), L"В сети", L"48 %", 11, 0},
        {view(true, false, 48), L"Не отвечает", L"—", 15, 200},
        {view(false, false, 48), L"Не в сети", L"—", 10, 128},
        {view(true, true, device::kUnknownVolume), L"В сети", L"—", 11, 0},
        {view(true, true, 30, true), L"В сети", L"30 %", 20, 0},
        {view(false, false, 30, true), L"Не в сети", L"—", 19, 128},
    };
    for (const Case& c : cases) {
        const Model::Row row = Model::describe(c.device);
        EXPECT_EQ(row.texts[Model::state], c.state);
        EXPECT_EQ(row.texts[Model::volume], c.volume) << c.state;
        EXPECT_EQ(row.image, c.image) << c.state;
        EXPECT_EQ(row.colour.red, c.red) << c.state;
    }
    const Model::Row row = Model::describe(view(true, true, 48));
    EXPECT_EQ(row.texts[Model::name], L"Вестибюль");
    EXPECT_EQ(row.texts[Model::address], L"127.0.0.2");
    EXPECT_EQ(row.texts[Model::type], L"Vokar-B");
    EXPECT_EQ(row.texts[Model::version], L"2.01.03.17");

    frm::DeviceView unheard;  // a device of the file before its first packet
    unheard.hardwareAddress = "02:7E:41:00:00:09";
    const Model::Row empty = Model::describe(unheard);
    for (const auto column : {Model::address, Model::type, Model::version})
        EXPECT_EQ(empty.texts[column], L"—");
}

TEST(DeviceListModel, RowsKeepTheOrderTheyCameIn) {
    Model model;
    bool inserted = false;
    frm::DeviceView second = view(true, true, 10);
    second.hardwareAddress = "02:7E:41:00:00:02";
    EXPECT_EQ(model.update(second, &inserted), 0u);
    EXPECT_TRUE(inserted);
    EXPECT_EQ(model.update(view(true, true, 10), &inserted), 1u);
    EXPECT_TRUE(inserted);
    EXPECT_EQ(model.update(view(false, false, 10), &inserted), 1u);
    EXPECT_FALSE(inserted);
    EXPECT_EQ(model.size(), 2u);
    EXPECT_EQ(model.row(1).texts[Model::state], L"Не в сети");
    EXPECT_EQ(model.addressAt(0), "02:7E:41:00:00:02");
}

frm::DeviceView at(int last) {
    frm::DeviceView device = view(true, true, 10);
    device.hardwareAddress = "02:7E:41:00:00:0" + std::to_string(last);
    return device;
}

TEST(DeviceListModel, ARemovedRowGoesAndTheRowsAfterItMoveUp) {
    Model model;
    for (int last = 1; last <= 4; ++last) model.update(at(last));
    EXPECT_EQ(model.remove("02:7E:41:00:00:02"), std::optional<std::size_t>(1));
    EXPECT_EQ(model.remove("02:7E:41:00:00:02"), std::nullopt);  // gone already
    EXPECT_EQ(model.remove("02:7E:41:00:00:09"), std::nullopt);  // never shown
    ASSERT_EQ(model.size(), 3u);
    EXPECT_EQ(model.addressAt(0), "02:7E:41:00:00:01");
    EXPECT_EQ(model.addressAt(1), "02:7E:41:00:00:03");
    EXPECT_EQ(model.addressAt(2), "02:7E:41:00:00:04");
    // The moved rows are found under their new numbers; a device that comes back is appended.
    bool inserted = true;
    EXPECT_EQ(model.update(at(4), &inserted), 2u);
    EXPECT_FALSE(inserted);
    EXPECT_EQ(model.update(at(2), &inserted), 3u);
    EXPECT_TRUE(inserted);
    EXPECT_EQ(model.remove("02:7E:41:00:00:04"), std::optional<std::size_t>(2));
    EXPECT_EQ(model.addressAt(2), "02:7E:41:00:00:02");
}

TEST(DeviceListModel, TheChoiceStaysOnTheSameDevicesWhenARowGoes) {
    struct Case {
        std::vector<std::size_t> chosen;
        std::size_t removed;
        std::vector<std::size_t> kept;
    };
    const Case cases[] = {
        {{}, 0, {}}, {{0, 1, 2}, 1, {0, 1}}, {{3}, 1, {2}}, {{0}, 1, {0}}, {{1}, 1, {}}, {{0, 4}, 4, {0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Model::chosenAfterRemoval(c.chosen, c.removed), c.kept) << c.removed;
}

}  // namespace
