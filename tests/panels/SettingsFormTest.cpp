// The settings dialog's keys without the window: what opening reads and creates, that writing an
// unchanged form keeps every key, that each field reaches exactly its own key, and the refusals.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <libconfig.h++>
#include <map>

#include "foundation/DataFolders.h"
#include "foundation/Files.h"
#include "foundation/Password.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "panels/SettingsForm.h"
#include "support/DataRoot.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

using frm::SettingsForm;
using Keys = std::map<std::string, std::wstring>;

void collect(const libconfig::Setting& group, Keys& keys) {
    for (int i = 0; i < group.getLength(); ++i) {
        const libconfig::Setting& member = group[i];
        const std::string path = member.getPath();
        switch (member.getType()) {
            case libconfig::Setting::TypeGroup:
                collect(member, keys);
                break;
            case libconfig::Setting::TypeInt:
                keys[path] = std::to_wstring(static_cast<int>(member));
                break;
            case libconfig::Setting::TypeBoolean:
                keys[path] = static_cast<bool>(member) ? L"true" : L"false";
                break;
            default:
                keys[path] = base::widen(static_cast<const char*>(member));
        }
    }
}

class SettingsFormTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pref::instanceSlot().install(pref_init(pref::defaultPath()))); }
    void TearDown() override { delete pref::instanceSlot().release(); }

    // Every key of the settings with its value as text.
    static Keys keys() {
        base::SingletonSlot<pref>::Use store(pref::instanceSlot());
        store->save();
        libconfig::Config file;
        file.readFile(store->path().c_str());
        Keys all;
        collect(file.getRoot(), all);
        return all;
    }
    std::wstring dataFolder(const wchar_t* name) const {
        return os::joinPath(os::getApplicationDataDirectory(), name);
    }
    std::wstring gongInDataFolder() const { return dataFolder(L"gong/Преамбула.mp3"); }

    test::DataRoot root_;
    test::LogCapture capture_;
    test::TempFolder other_;
};

TEST_F(SettingsFormTest, OpeningCreatesTheDefaultFoldersAndKeysAndWritingItUnchangedKeepsThem) {
    const SettingsForm opened = SettingsForm::open(true);
    for (const wchar_t* folder : {L"gong", L"service", L"alarm", L"record"})
        EXPECT_TRUE(base::isFolder(dataFolder(folder))) << base::toUtf8(folder);
    EXPECT_EQ(opened.folders[SettingsForm::recordedFolder], dataFolder(L"record"));
    EXPECT_EQ(opened.multicastAddress, L"224.0.224.1");
    EXPECT_EQ(opened.logLevel, L"info");

    const Keys before = keys();
    for (const char* key :
         {"place.pathDirGong", "volume.microphone2", "multicast.basePort", "multicast.ttl",
          "record.deviceName", "security.interfaceTimeout", "debug.level", "mainWindow.alarmButtons"})
        EXPECT_EQ(before.count(key), 1u) << key;
    EXPECT_EQ(before.at("place.pathDirGong"), L"");
    ASSERT_TRUE(opened.check(opened).empty());
    opened.write(opened);
    EXPECT_EQ(keys(), before);
}

TEST_F(SettingsFormTest, EachFieldReachesItsOwnKeyOnly) {
    const std::wstring folder = other_.widePath();
    struct Row {
        const char* key;
        std::function<void(SettingsForm&)> edit;
        std::wstring stored;
    };
    const auto folderRow = [&](const char* key, std::size_t index) {
        return Row{key, [&, index](SettingsForm& f) { f.folders[index] = folder; }, folder};
    };
    const auto passwordRow = [](const char* key, std::size_t index, const wchar_t* text) {
        return Row{key,
                   [index, text](SettingsForm& f) {
                       f.passwords[index] = {text, text};
                   },
                   base::encodePassword(text)};
    };
    const Row rows[] = {
        folderRow("place.pathDirGong", SettingsForm::gongFolder),
        folderRow("place.pathDirServiceMessage", SettingsForm::serviceFolder),
        folderRow("place.pathDirAlarmMessage", SettingsForm::alarmFolder),
        folderRow("place.pathDirRecordedMessage", SettingsForm::recordedFolder),
        {"place.pathFileGong", [](SettingsForm& f) { f.gongFile = L"Колокол"; }, L"Колокол"},
        {"volume.serviceMessage2", [](SettingsForm& f) { f.serviceVolume = 55; }, L"55"},
        {"volume.microphone2", [](SettingsForm& f) { f.microphoneVolume = 44; }, L"44"},
        {"multicast.address", [](SettingsForm& f) { f.multicastAddress = L"239.9.9.9"; }, L"239.9.9.9"},
        {"multicast.basePort", [](SettingsForm& f) { f.basePort = 12000; }, L"12000"},
        {"multicast.ttl", [](SettingsForm& f) { f.ttl = 3; }, L"3"},
        {"record.deviceName", [](SettingsForm& f) { f.captureDevice = L"test.monitor"; }, L"test.monitor"},
        passwordRow("security.administrator", SettingsForm::administratorPassword, L"aB1"),
        passwordRow("security.playbackAlarm", SettingsForm::alarmPassword, L"x"),
        passwordRow("security.interface", SettingsForm::interfacePassword, L"é"),
        {"security.interfaceTimeout", [](SettingsForm& f) { f.idleMinutes = 0; }, L"0"},
        {"debug.level", [](SettingsForm& f) { f.logLevel = L"trace"; }, L"trace"},
    };
    pref::setBool("mainWindow.alarmButtons", true);
    for (const Row& row : rows) {
        const SettingsForm opened = SettingsForm::open(true);
        Keys expected = keys();
        SettingsForm edited = opened;
        row.edit(edited);
        ASSERT_TRUE(edited.check(opened).empty()) << row.key;
        edited.write(opened);
        expected[row.key] = row.stored;
        EXPECT_EQ(keys(), expected) << row.key;
    }
}

TEST_F(SettingsFormTest, TheNetworkKeysOnlyInAdministratorMode) {
    pref::setString("multicast.address", "239.1.2.3");
    const SettingsForm opened = SettingsForm::open(false);
    const Keys before = keys();
    SettingsForm edited = opened;
    edited.multicastAddress = L"not an address";
    edited.basePort = 1;
    edited.interfaceIp = "127.0.0.1";
    ASSERT_TRUE(edited.check(opened).empty());
    edited.write(opened);
    EXPECT_EQ(keys(), before);
}

TEST_F(SettingsFormTest, PasswordsAndTheIdleTimeChangeOnlyInAdministratorModeOnceOneIsSet) {
    // administrator password set, administrator mode -> the passwords and the idle time are written
    const std::tuple<bool, bool, bool> cases[] = {
        {false, false, true},  // a first start sets them outside the mode
        {false, true, true},
        {true, true, true},
        {true, false, false},
    };
    const std::string old = base::toUtf8(base::encodePassword(L"old"));
    for (const auto& [set, administrator, written] : cases) {
        SCOPED_TRACE(testing::Message() << set << administrator);
        for (const setting::Text& password :
             {setting::securityAdministrator, setting::securityPlaybackAlarm, setting::securityInterface})
            pref::setString(password.key, set ? old : password.fallback);
        pref::setInt(setting::securityInterfaceTimeout.key, setting::securityInterfaceTimeout.fallback);
        const SettingsForm opened = SettingsForm::open(administrator);
        EXPECT_EQ(opened.passwordsLocked.has_value(), !written);
        const Keys before = keys();
        SettingsForm edited = opened;
        // The second pair differs: refused where it may be written, not even looked at elsewhere.
        edited.passwords = {frm::PasswordPair{L"new", L"new"}, frm::PasswordPair{L"a", L"b"},
                            frm::PasswordPair{L"new", L"new"}};
        EXPECT_EQ(edited.check(opened).size(), written ? 1u : 0u);
        edited.passwords[SettingsForm::alarmPassword] = {L"new", L"new"};
        // 0 switches the idle lock off.
        edited.idleMinutes = 0;
        ASSERT_TRUE(edited.check(opened).empty());
        edited.write(opened);
        Keys expected = before;
        if (written) {
            for (const char* key : {"security.administrator", "security.playbackAlarm", "security.interface"})
                expected[key] = base::encodePassword(L"new");
            expected["security.interfaceTimeout"] = L"0";
        }
        EXPECT_EQ(keys(), expected);
    }
}

TEST_F(SettingsFormTest, StoredTextsShowOnlyWhenValid) {
    pref::setString("debug.level", "verbose");
    EXPECT_EQ(SettingsForm::open(false).logLevel, L"info");
    for (const auto& [stored, shown] :
         {std::pair{"239.1.2.3", L"239.1.2.3"}, std::pair{"239.1.2.3x", L"224.0.224.1"},
          std::pair{"1.2.3", L"224.0.224.1"}}) {
        pref::setString("multicast.address", stored);
        EXPECT_EQ(SettingsForm::open(true).multicastAddress, shown) << stored;
    }
}

TEST_F(SettingsFormTest, EveryRefusalIsToldInPageOrder) {
    pref::setBool("mainWindow.alarmButtons", true);
    const SettingsForm opened = SettingsForm::open(true);
    SettingsForm edited = opened;
    edited.folders[SettingsForm::serviceFolder] = L"/нет/такой";
    edited.gongFile = L"Gong \u00E9";
    edited.multicastAddress = L"192.168.1.1";
    edited.basePort = 65001;
    edited.ttl = 0;
    edited.captureDevice = L"Micro \u00E9";
    edited.passwords[SettingsForm::interfacePassword] = {L"а", L"а"};
    std::vector<std::wstring> texts;
    for (const auto& refusal : edited.check(opened))
        texts.push_back((refusal.warning ? L"W " : L"N ") + refusal.text);
    const std::vector<std::wstring> expected = {
        L"N Папка '/нет/такой' не существует",
        L"N Гонг 'Gong \u00E9' содержит знаки, которые нельзя сохранить в настройках",
        L"W Ошибка при вводе IP адреса",
        L"N Базовый порт должен быть от 2000 до 65000",
        L"N Время жизни мультикаста должно быть от 1 до 255",
        L"N Устройство записи 'Micro \u00E9' содержит знаки, которые нельзя сохранить в настройках",
        L"N Пароль для блокирования интерфейса не сохранён: допустимы только латинские буквы, цифры и знаки",
    };
    EXPECT_EQ(texts, expected);
}

TEST_F(SettingsFormTest, AFolderLeftAsShownIsKeptWhileMissingAndAnEmptiedOneMeansTheDefault) {
    const std::wstring share = other_.widePath() + L"/share";
    pref::setWString("place.pathDirServiceMessage", share);
    pref::setWString("place.pathDirRecordedMessage", other_.widePath());
    const SettingsForm opened = SettingsForm::open(false);
    EXPECT_EQ(opened.folders[SettingsForm::serviceFolder], share);
    SettingsForm edited = opened;
    edited.folders[SettingsForm::recordedFolder].clear();
    ASSERT_TRUE(edited.check(opened).empty());
    edited.write(opened);
    EXPECT_EQ(pref::getWString("place.pathDirServiceMessage"), share);
    EXPECT_EQ(pref::getWString("place.pathDirRecordedMessage"), L"");
}

TEST_F(SettingsFormTest, TheDefaultGongIsCopiedOnceAndNamedOnlyWhenCopied) {
    SettingsForm::open(false);
    EXPECT_FALSE(base::pathExists(gongInDataFolder()));
    EXPECT_EQ(pref::getWString("place.pathFileGong"), L"");

    pref::setBool("mainWindow.alarmButtons", true);
    SettingsForm::open(false);
    ASSERT_TRUE(base::pathExists(gongInDataFolder()));
    EXPECT_EQ(pref::getWString("place.pathFileGong"), L"Преамбула");
    pref::setWString("place.pathFileGong", L"Другой");
    SettingsForm::open(false);
    EXPECT_EQ(pref::getWString("place.pathFileGong"), L"Другой");

    // A gong folder that is not there (an unmounted share) gets no copy and no gong name.
    pref::setWString("place.pathFileGong", L"");
    pref::setWString("place.pathDirGong", other_.widePath() + L"/share");
    SettingsForm::open(false);
    EXPECT_TRUE(capture_.contains(L"Гонг не найден! Ошибка: ", L"WARN"));
    EXPECT_EQ(pref::getWString("place.pathFileGong"), L"");
}

}  // namespace
