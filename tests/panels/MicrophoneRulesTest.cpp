// The microphone panel's decisions as tables: the option controls, the source switch, the
// refusals of a start in their order, the recording titles, and the recorded messages' save and
// delete with their refusals.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/PlaybackTrack.h"
#include "foundation/DataFolders.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "panels/MicrophoneRules.h"
#include "panels/RecordedMessages.h"
#include "support/DataRoot.h"
#include "support/LogCapture.h"
#include "support/StreamReceiver.h"

namespace {

using frm::MicrophoneOptions;
using frm::MicrophoneRefusal;

MicrophoneOptions options(bool list, bool broadcast, bool record, bool gong) {
    MicrophoneOptions result;
    result.listSource = list;
    result.broadcast = broadcast;
    result.record = record;
    result.gong = gong;
    return result;
}

TEST(MicrophoneRules, ControlsFollowTheOptions) {
    // list, broadcast, record, gong -> broadcast, record, title, gong, gong choice enabled
    const std::tuple<MicrophoneOptions, std::array<bool, 5>> cases[] = {
        {options(false, false, false, false), {true, true, false, false, false}},
        {options(false, false, true, true), {true, true, true, false, false}},
        {options(false, true, false, false), {true, true, false, true, false}},
        {options(false, true, true, true), {true, true, true, true, true}},
        {options(true, true, false, true), {false, false, false, true, true}},
        {options(true, true, false, false), {false, false, false, true, false}},
    };
    for (const auto& [given, enabled] : cases) {
        const frm::MicrophoneControls controls = frm::microphoneControls(given);
        EXPECT_EQ((std::array<bool, 5>{controls.broadcast, controls.record, controls.title, controls.gong,
                                       controls.gongChoice}),
                  enabled)
            << given.listSource << given.broadcast << given.record << given.gong;
    }
}

TEST(MicrophoneRules, TheListTakesOnlyTheBroadcastAndTheMicrophoneGivesBothBack) {
    for (const bool broadcast : {false, true}) {
        for (const bool record : {false, true}) {
            MicrophoneOptions given = options(false, broadcast, record, false);
            given.chooseSource(true);
            EXPECT_TRUE(given.broadcast && !given.record);
            given.chooseSource(true);
            given.chooseSource(false);
            EXPECT_EQ(given.broadcast, broadcast);
            EXPECT_EQ(given.record, record);
        }
    }
}

TEST(MicrophoneRules, RefusalsInTheirOrder) {
    using R = MicrophoneRefusal;
    const auto start = [](MicrophoneOptions given, bool selected, std::size_t targets, bool online, int gong,
                          std::size_t gongs) {
        frm::MicrophoneStart result;
        result.options = given;
        result.messageSelected = selected;
        result.targets = targets;
        result.targetOnline = online;
        result.gongSelection = gong;
        result.gongCount = gongs;
        return result;
    };
    const std::tuple<frm::MicrophoneStart, R> cases[] = {
        {start(options(false, false, false, true), true, 0, false, -1, 0), R::noWay},
        {start(options(true, true, false, false), false, 0, false, -1, 0), R::noMessage},
        {start(options(true, true, true, false), true, 0, false, -1, 0), R::listRecording},
        {start(options(true, true, false, false), true, 0, false, -1, 0), R::noDevice},
        {start(options(false, true, true, true), false, 2, false, -1, 0), R::noDeviceOnline},
        {start(options(false, true, false, true), false, 2, true, -1, 1), R::noGong},
        {start(options(false, true, false, true), false, 2, true, 1, 1), R::gongOutOfRange},
        // A recording alone needs no device and no gong.
        {start(options(false, false, true, true), false, 0, false, -1, 0), R::none},
        {start(options(false, true, false, false), false, 1, true, -1, 0), R::none},
        {start(options(true, true, false, true), true, 3, true, 0, 1), R::none},
    };
    for (const auto& [given, refusal] : cases) {
        EXPECT_EQ(frm::microphoneRefusal(given), refusal) << static_cast<int>(refusal);
    }
    EXPECT_EQ(std::wstring(frm::refusalText(R::noDeviceOnline)), L"Не выбрано ни одного устройства в сети");
}

TEST(MicrophoneRules, ATitleIsAFileNameInTheRecordFolder) {
    const std::tuple<std::wstring, bool> cases[] = {
        {L"Название", true},    {L"Объявление 1 (утро)", true},
        {L"a.b", true},         {L"", false},
        {L".", false},          {L"..", false},
        {L"../evil", false},    {L"a/b", false},
        {L"a\\b", false},       {L".скрытая", false},
        {L"строка\n", false},   {std::wstring(L"a\0b", 3), false},
        {L"\u0085next", false},
    };
    for (const auto& [title, allowed] : cases)
        EXPECT_EQ(frm::isRecordTitleAllowed(title), allowed) << title.size();
}

class RecordedMessagesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pref::instanceSlot().install(pref_init(pref::defaultPath()))); }
    void TearDown() override { delete pref::instanceSlot().release(); }

    std::wstring recording(const std::string& bytes) {
        const std::wstring path = frm::temporaryRecording();
        std::ofstream(base::toUtf8(path)) << bytes;
        return path;
    }
    static std::string contents(const std::wstring& path) { return test::readWholeFile(base::toUtf8(path)); }

    test::DataRoot root_;
    test::LogCapture capture_;
};

TEST_F(RecordedMessagesTest, SavedUnderItsTitleOnceAndNeverOverAnother) {
    const std::wstring folder = frm::recordDirectory();
    EXPECT_EQ(folder, os::joinPath(os::getApplicationDataDirectory(), L"record/"));
    EXPECT_TRUE(frm::recordedTitles(folder).empty());

    ASSERT_TRUE(frm::saveRecording(L"Название", folder, recording("first")));
    EXPECT_EQ(contents(folder + L"Название.mp3"), "first");
    EXPECT_FALSE(std::filesystem::exists(base::toUtf8(frm::temporaryRecording())));
    // The temporary file is gone: a second save of the same recording fails.
    EXPECT_FALSE(frm::saveRecording(L"Другое", folder, frm::temporaryRecording()));
    EXPECT_TRUE(capture_.contains(L"Не удалось сохранить запись", L"ERROR"));

    const std::tuple<std::wstring, const wchar_t*, const wchar_t*> refused[] = {
        {L"", L"Введите название записи", L"NOTICE"},
        {L"../evil", L"не может быть именем файла", L"NOTICE"},
        {L"Название", L"Файл с таким именем уже существует.", L"WARN"},
    };
    for (const auto& [title, text, level] : refused) {
        EXPECT_FALSE(frm::saveRecording(title, folder, recording("second"))) << text;
        EXPECT_TRUE(capture_.contains(text, level)) << text;
    }
    EXPECT_EQ(contents(folder + L"Название.mp3"), "first");
    EXPECT_FALSE(std::filesystem::exists(root_.dataFolder() + "/evil.mp3"));
    EXPECT_EQ(frm::recordedTitles(folder), std::vector<std::wstring>{L"Название"});

    // A folder that cannot be made.
    std::ofstream(root_.path() + "/file") << "x";
    EXPECT_FALSE(
        frm::saveRecording(L"Название", base::fromUtf8(root_.path() + "/file/record/"), recording("x")));
    EXPECT_TRUE(capture_.contains(L"Не верно указана папка назначения", L"NOTICE"));
}

TEST_F(RecordedMessagesTest, ARecordingInUseIsKeptAndTheReasonGiven) {
    const std::wstring folder = frm::recordDirectory();
    std::filesystem::create_directories(base::toUtf8(folder));
    for (const char* name : {"Служебное", "Тревожное", "Оба", "В расписании", "Свободное"})
        std::ofstream(base::toUtf8(folder) + name + ".mp3") << "x";
    const auto is = [&](std::vector<std::wstring> titles) {
        return [&folder, titles](const std::wstring& path) {
            for (const auto& title : titles)
                if (path == folder + title + L".mp3") return true;
            return false;
        };
    };
    const frm::RecordingUsers users{is({L"Служебное", L"Оба"}), is({L"Тревожное", L"Оба"}),
                                    is({L"В расписании"})};
    const std::tuple<std::wstring, bool, const wchar_t*> cases[] = {
        {L"Служебное", false,
         L"Невозможно удалить сообщение 'Служебное', т.к. используется в служебных оповещениях"},
        {L"Оба", false, L"Невозможно удалить сообщение 'Оба', т.к. используется в служебных оповещениях"},
        {L"Тревожное", false,
         L"Невозможно удалить сообщение 'Тревожное', т.к. используется в тревожных оповещениях"},
        {L"В расписании", false, L"Невозможно удалить сообщение 'В расписании', т.к. входит в задание"},
        {L"Свободное", true, nullptr},
        {L"Свободное", true, L"Не удалось удалить запись 'Свободное.mp3'"},
    };
    for (const auto& [title, gone, text] : cases) {
        EXPECT_EQ(frm::deleteRecording(title, folder, users), gone) << title;
        if (text != nullptr) {
            EXPECT_TRUE(capture_.contains(text)) << text;
        }
    }
    EXPECT_EQ(frm::recordedTitles(folder).size(), 4u);
    // No checks bound: nothing uses a recording.
    EXPECT_TRUE(frm::deleteRecording(L"Оба", folder, frm::RecordingUsers()));
}

TEST_F(RecordedMessagesTest, OnlyRecordingsThatDecodeAreOfferedToTheSchedule) {
    EXPECT_TRUE(frm::recordedPlaybacks().empty());
    const std::string folder = base::toUtf8(frm::recordDirectory());
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(test::writeSineMp3(folder + "Утро.mp3", 440, 0.5));
    std::ofstream(folder + "Обрыв.mp3") << std::string(3000, 'x');
    const auto playbacks = frm::recordedPlaybacks();
    ASSERT_EQ(playbacks.size(), 1u);
    const auto* track = dynamic_cast<const frm::PlaybackTrack*>(playbacks.front().get());
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->getName(), L"Утро");
    EXPECT_EQ(track->getMessageName(), L"Утро");
    EXPECT_EQ(track->getMessagePath(), base::fromUtf8(folder + "Утро.mp3"));
    EXPECT_EQ(track->getKind(), frm::PlaybackTrack::kRecordedMessage);
    EXPECT_FALSE(track->isAlarm());
    EXPECT_TRUE(track->getGongPath().empty());
}

}  // namespace
