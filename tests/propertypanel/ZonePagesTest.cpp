// What the zone-target, line and key pages show: zone colours, the loudspeaker list, the memory
// check, end-device rows, the module's buttons and key rows.

#include <gtest/gtest.h>

#include "propertypanel/LineControlRules.h"
#include "propertypanel/PasskeyRules.h"
#include "propertypanel/ZoneTargetsRules.h"

namespace {

using frm::zones::Colour;

TEST(ZonePages, ZoneColourPrecedence) {
    struct Case {
        std::uint32_t bound, connected, activated;
        bool broken;
        std::optional<int> scenario;
        Colour colour;
    };
    const std::uint32_t zone = 1u << 3;
    const Case cases[] = {
        {0, zone, zone, true, 2, Colour::plain},
        {zone, 0, zone, true, std::nullopt, Colour::red},
        {zone, 0, 0, false, 2, Colour::yellow},
        {zone, zone, 0, true, 2, Colour::yellow},
        {zone, zone, 0, false, std::nullopt, Colour::yellow},
        {zone, zone, 0, false, 2, Colour::green},
        {zone, zone, 0, false, -1, Colour::lightGreen},
    };
    for (const Case& c : cases)
        EXPECT_EQ(frm::zones::zoneColour(3, {c.bound, c.connected, c.activated, c.broken, c.scenario}),
                  c.colour);
    EXPECT_EQ(frm::zones::zoneColour(40, {~0u, ~0u, ~0u, false, 1}), Colour::plain);
}

TEST(ZonePages, LoudspeakersListedAndMarked) {
    struct Case {
        bool bound;
        std::int32_t version;
        bool answering, broken, lost, alarm, debug;
        bool listed;
        const wchar_t* label;
        Colour colour;
    };
    const Case cases[] = {
        {false, 15, true, false, false, false, false, false, L"", Colour::plain},
        {false, 16, false, false, false, false, false, false, L"", Colour::plain},
        {false, 16, true, true, true, true, false, true, L"Зал", Colour::plain},
        {false, 16, true, false, false, false, true, true, L"02:7E:41:00:00:05 | Зал", Colour::plain},
        {true, 8, false, true, true, false, false, true, L"Зал [Не в сети]", Colour::grey},
        {true, 16, true, true, true, false, false, true, L"Зал [Ошибка конфигурации]", Colour::amber},
        {true, 16, true, false, true, false, false, true, L"Зал [Потерян]", Colour::amber},
        {true, 16, true, false, true, true, false, true, L"Зал [Потерян]", Colour::red},
        {true, 16, true, false, false, false, false, true, L"Зал", Colour::lightGreen},
    };
    for (const Case& c : cases) {
        const frm::zones::Row row = frm::zones::loudspeakerRow(
            {"02:7E:41:00:00:05", L"Зал", c.bound, c.version, c.answering, c.broken, c.lost, c.alarm},
            c.debug);
        EXPECT_EQ(row.listed, c.listed) << c.label;
        EXPECT_EQ(row.label, c.label);
        EXPECT_EQ(row.background, c.colour) << c.label;
    }
}

TEST(ZonePages, MessagesNeedOneAudioMemory) {
    frm::zones::MemoryMatch same(3);
    same.add(0, true, L"a");
    same.add(2, true, L"a");
    ASSERT_TRUE(same.reference());
    EXPECT_EQ(*same.reference(), 0u);
    EXPECT_FALSE(same.hint());
    frm::zones::MemoryMatch differing(3);
    differing.add(0, true, L"a");
    differing.add(1, true, L"b");
    EXPECT_FALSE(differing.reference());
    EXPECT_TRUE(differing.hint());
    // A memory that could not be read mismatches; alone in the registry no hint is shown.
    frm::zones::MemoryMatch unread(1);
    unread.add(0, true, std::nullopt);
    EXPECT_FALSE(unread.reference());
    EXPECT_FALSE(unread.hint());

    using frm::zones::messagesFor;
    EXPECT_FALSE(messagesFor({L"a", L"a"}, false).microphoneOnly);
    EXPECT_TRUE(messagesFor({}, false).microphoneOnly);
    EXPECT_TRUE(messagesFor({L"a", std::nullopt}, false).microphoneOnly);
    EXPECT_TRUE(messagesFor({L"a", L"b"}, false).hint);
    EXPECT_TRUE(messagesFor({L"a"}, true).hint);
    EXPECT_TRUE(messagesFor({L"a"}, true).microphoneOnly);
}

TEST(ZonePages, EndDeviceRowsAndTheModulesButtons) {
    device::tip_device::TipDevice device;
    device.number = 12;
    device.added = 1;
    device.online = 1;
    device.active = 1;
    device.thirdFlag = 1;
    device.firstValue = 0xFFFFFFFF;
    device.secondValue = 0xFFFFFFFF;
    device.tag = "t1";
    device.name = L"Коридор";
    frm::line::TipRow row = frm::line::tipRow(device, false);
    EXPECT_EQ(row.number, L" 12 ");
    EXPECT_EQ(row.numberColour, frm::line::Colour::green);
    EXPECT_EQ(row.share, L"100%");
    EXPECT_EQ(row.report, L"[id=12;1:1:1;4294967295/4294967295;t1]");
    EXPECT_EQ(row.button, L"Удалить");
    EXPECT_TRUE(row.buttonEnabled);
    device.active = 0;
    device.secondValue = 0;
    device.thirdFlag = 0;
    row = frm::line::tipRow(device, true);
    EXPECT_EQ(row.numberColour, frm::line::Colour::red);
    EXPECT_EQ(row.share, L"  0%");
    EXPECT_EQ(row.shareColour, frm::line::Colour::red);
    EXPECT_FALSE(row.buttonEnabled);
    device.added = 0;
    row = frm::line::tipRow(device, false);
    EXPECT_EQ(row.numberColour, frm::line::Colour::yellow);
    EXPECT_EQ(row.button, L"Добавить");

    using LC = device::tip_device::LineControl;
    struct Case {
        LC::State state;
        std::uint32_t mode;
        bool powerSave, changes, reboot;
    };
    const Case cases[] = {
        {LC::active, LC::off, true, true, true},          {LC::active, LC::on, true, false, true},
        {LC::active, LC::notReported, false, true, true}, {LC::notReady, LC::off, false, false, false},
        {LC::pause, LC::on, false, false, false},
    };
    for (const Case& c : cases) {
        const frm::line::Buttons buttons = frm::line::buttons(c.state, c.mode, true, false);
        EXPECT_EQ(buttons.powerSaveEnabled, c.powerSave) << c.state << c.mode;
        EXPECT_EQ(buttons.addAllEnabled, c.changes) << c.state << c.mode;
        EXPECT_EQ(buttons.removeAllEnabled, c.changes) << c.state << c.mode;
        EXPECT_EQ(buttons.rebootEnabled, c.reboot) << c.state << c.mode;
        EXPECT_FALSE(buttons.rebootShown);
    }
    EXPECT_TRUE(frm::line::buttons(LC::active, LC::off, true, true).rebootShown);
    EXPECT_FALSE(frm::line::buttons(LC::active, LC::off, false, true).rebootShown);
    device::Version version;
    version.major = 1;
    version.minor = 2;
    version.revision = 3;
    EXPECT_EQ(frm::line::versionLine(version, "02:7E:41:00:10:01"),
              L"Версия контроля линии: 1.2.3; Адрес: 02:7E:41:00:10:01; ");
    EXPECT_EQ(frm::line::initialisation(40), L"Инициализация: 40%");
    // A module that told its progress and then fell silent is asked nothing more, and shows it still.
    std::string reply = "Not Ready,0,40";
    std::size_t asked = 0;
    LC module([&](const std::string&, std::string& answer) {
        ++asked;
        answer = reply;
    });
    module.requestTipDevices();
    reply.clear();
    module.requestTipDevices();
    EXPECT_EQ(frm::line::initialisation(frm::line::initialisationProgress(module, false)),
              L"Инициализация: 40%");
    EXPECT_EQ(asked, 2u);
}

TEST(ZonePages, KeyRows) {
    const frm::passkey::KeyRow first = frm::passkey::keyRow(1, "0A1B2C");
    EXPECT_EQ(first.number, L"01");
    EXPECT_EQ(first.key, L"0A1B2C");
    EXPECT_EQ(first.name, L"Ключ 1");
    EXPECT_EQ(frm::passkey::keyRow(12, "FF").number, L"12");
    EXPECT_TRUE(frm::passkey::accessControl(true, 1));
    EXPECT_FALSE(frm::passkey::accessControl(true, 0));
    EXPECT_FALSE(frm::passkey::accessControl(false, 3));
    EXPECT_EQ(frm::passkey::accessLabel(false), L"Контроль доступа выключен");
}

}  // namespace

TEST(ZonePages, TheWholeZonePageFromWhatWasRead) {
    using frm::zones::Box;
    // Two bound loudspeakers of the zone 1, which carries the first message, and an old one that
    // keeps no zone list.
    frm::zones::TargetsRead read;
    read.bound = read.connected = 1u << 1;
    read.zones[1] = device::ConsoleZone{1, 7, 1, {1, 2}};
    read.fire = true;
    device::memory::ScenarioEntry alarm;
    alarm.order = 1;
    alarm.name = L"Тревога";
    read.loudspeakers = {{1, "02:7E:41:00:00:01", L"A", 20, true, false, L"s", {alarm}},
                         {2, "02:7E:41:00:00:02", L"B", 20, true, false, L"s", {alarm}},
                         {3, "02:7E:41:00:00:03", L"C", 10, true, false, std::nullopt, {}}};
    frm::zones::TargetsRead otherMemory = read;
    otherMemory.loudspeakers[1].stamp = L"t";
    // The console reports the second loudspeaker and one the registry does not know.
    frm::zones::TargetsRead broken = read;
    broken.consoleBroken = true;
    broken.broken[1] = {"02:7E:41:00:00:02", "02:7E:41:00:00:09"};

    struct Case {
        const frm::zones::TargetsRead* read;
        std::optional<int> zone;
        Colour button;
        std::vector<Box> boxes;
        std::vector<std::wstring> messages;
        int message;
        bool hint, removeZone, fix;
    };
    const std::vector<std::wstring> microphone = {L"Вещание с микрофона"};
    const std::vector<std::wstring> withAlarm = {L"Вещание с микрофона", L"1 - Тревога"};
    const Case cases[] = {
        // No zone chosen: the modern loudspeakers are offered, none ticked.
        {&read,
         std::nullopt,
         Colour::green,
         {{L"A", false, 0, Colour::plain}, {L"B", false, 1, Colour::plain}},
         microphone,
         0,
         false,
         false,
         false},
        {&read,
         1,
         Colour::green,
         {{L"A", true, 0, Colour::lightGreen}, {L"B", true, 1, Colour::lightGreen}},
         withAlarm,
         1,
         false,
         true,
         false},
        // Memories that differ offer only the microphone, and the zone's message is not shown.
        {&otherMemory,
         1,
         Colour::green,
         {{L"A", true, 0, Colour::lightGreen}, {L"B", true, 1, Colour::lightGreen}},
         microphone,
         -1,
         true,
         true,
         false},
        {&broken,
         1,
         Colour::yellow,
         {{L"A", true, 0, Colour::lightGreen},
          {L"B [Ошибка конфигурации]", true, 1, Colour::amber},
          {L"02:7E:41:00:00:09 [Неизвестное устройство]", true, std::nullopt, Colour::grey}},
         withAlarm,
         1,
         false,
         true,
         true},
    };
    for (const Case& c : cases) {
        const frm::zones::TargetsView view = frm::zones::targetsView(*c.read, c.zone, false);
        EXPECT_EQ(view.buttons[0], c.button);
        EXPECT_EQ(view.buttons[1], Colour::plain);
        EXPECT_EQ(view.boxes, c.boxes);
        EXPECT_EQ(view.messages, c.messages);
        EXPECT_EQ(view.message, c.message);
        EXPECT_TRUE(view.messageEnabled);
        EXPECT_EQ(view.hint, c.hint);
        EXPECT_EQ(view.removeZoneEnabled, c.removeZone);
        EXPECT_EQ(view.fixShown, c.fix);
        EXPECT_EQ(view.allTicked, c.zone.has_value());
    }
    for (const Case& c : cases) EXPECT_TRUE(frm::zones::targetsView(*c.read, c.zone, false).anyListed);
    // Only an address that no loudspeaker of the registry has: no compatible device is listed.
    frm::zones::TargetsRead unknownOnly = broken;
    unknownOnly.loudspeakers = {{3, "02:7E:41:00:00:03", L"C", 10, true, false, std::nullopt, {}}};
    const frm::zones::TargetsView unknownView = frm::zones::targetsView(unknownOnly, 1, false);
    EXPECT_EQ(unknownView.boxes.size(), 2u);
    EXPECT_FALSE(unknownView.anyListed);
    // In debug mode a row names the loudspeaker's address too.
    EXPECT_EQ(frm::zones::targetsView(read, 1, true).boxes.at(0).label, L"02:7E:41:00:00:01 | A");
}
