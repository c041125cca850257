// What the window tells the operator on its own, with real clicks: one notice at a first start
// and none at the next, and, with the alarm functions off (the default), that they are off
// instead of sending the operator to an alarm-password box that the settings do not show; with
// them on, where that password is set.

#include <wx/app.h>

#include "tests/panels/window/MessageViewFixture.h"

namespace {

class NoticesTest : public test::MessageViewFixture {
protected:
    void SetUp() override {
        MessageViewFixture::SetUp();
        // A text shown a moment ago is not shown again; the test before may have shown these.
        debug::resetRecentMessages();
    }
    // The notices the window has given so far.
    std::vector<std::wstring> notices() {
        std::vector<std::wstring> texts;
        for (const test::LogLine& line : capture_.find(L"", L"NOTICE")) texts.push_back(line.message);
        return texts;
    }
    // Runs the window's events until what the window queued before now has run.
    void settle() {
        bool ran = false;
        frame_->CallAfter([&] { ran = true; });
        ASSERT_TRUE(pumpUntil([&] { return ran; }));
    }
    // The alarm view's one message played.
    void playAlarmMessage() {
        ASSERT_NO_FATAL_FAILURE(writeOneMessage(true, L"Эвакуация", L"Пожар", 700));
        openWindow();
        ASSERT_NE(playOnlyMessage(wxT("Тревожные сообщения")), nullptr);
    }
    static bool alarmBusy() {
        const base::SingletonSlot<frm::AlarmChannel>::Use channel(frm::AlarmChannel::instanceSlot());
        return channel && channel->isBusy();
    }
};

TEST_F(NoticesTest, AFirstStartShowsOneNoticeOnceAndTheNextStartNone) {
    // The idle lock on without its password, as a first start has it.
    pref::setInt(setting::securityInterfaceTimeout.key, 10);
    openWindow();
    EXPECT_TRUE(messageShown(L"Это первый запуск программы."));
    settle();
    ASSERT_EQ(notices().size(), 1u);
    // It tells what the idle-lock notice told.
    EXPECT_NE(notices().front().find(L"интерфейс не блокируется"), std::wstring::npos);

    // The settings are written at the end: the next start is not a first one.
    closeWindow();
    delete pref::instanceSlot().release();
    ASSERT_TRUE(pref::instanceSlot().install(pref_init(pref::defaultPath())));
    openWindow();
    settle();
    EXPECT_EQ(notices().size(), 1u);
}

TEST_F(NoticesTest, WithTheAlarmFunctionsOffTheWindowSaysTheyAreOff) {
    const std::wstring off =
        L"тревожные функции на этом головном узле выключены (настройка mainWindow.alarmButtons)";
    playAlarmMessage();
    EXPECT_TRUE(messageShown(L"Тревожное сообщение не запускается: " + off));
    ASSERT_EQ(notices().size(), 2u);
    // Neither names the alarm-password box, which the settings do not show.
    for (const std::wstring& notice : notices()) {
        EXPECT_NE(notice.find(off), std::wstring::npos);
        EXPECT_EQ(notice.find(L"воспроизведения тревог ещё не задан"), std::wstring::npos);
        EXPECT_EQ(notice.find(L"пароли администратора, воспроизведения тревог"), std::wstring::npos);
    }
    EXPECT_FALSE(alarmBusy());
}

TEST_F(NoticesTest, WithTheAlarmFunctionsOnTheWindowSaysWhereTheirPasswordIsSet) {
    pref::setBool(setting::mainWindowAlarmButtons.key, true);
    playAlarmMessage();
    EXPECT_TRUE(
        messageShown(L"Пароль для воспроизведения тревог ещё не задан.\nЗадайте его в окне «Настройки» "
                     L"на странице «Безопасность»."));
    const std::vector<std::wstring> told = notices();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(
        told.front().find(L"Задайте пароли администратора, воспроизведения тревог и блокирования интерфейса"),
        std::wstring::npos);
    for (const std::wstring& notice : told) EXPECT_EQ(notice.find(L"выключены"), std::wstring::npos);
    EXPECT_FALSE(alarmBusy());
}

}  // namespace
