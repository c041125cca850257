// The message panel's decisions as tables: the refusals of its actions in their order, the
// scheduler's names of its messages, what the service panel plays and what the alarm panel
// launches.

#include <gtest/gtest.h>

#include <fstream>

#include "audio/PlaybackTrack.h"
#include "foundation/TextConversion.h"
#include "panels/MessagePanelRules.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"
#include "tests/panels/MessageItems.h"

namespace {

using frm::MessageItem;
using frm::NewMessageInput;

using test::group;
using test::message;

std::wstring text(const std::optional<frm::Report>& report) {
    return report ? report->text : L"-";
}

TEST(MessagePanelRules, CreatingAGroupNeedsANewName) {
    const std::vector<std::wstring> groups{L"Эвакуация", L"Обед"};
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"Эвакуация", L"Одинаковое название группы"},
        {L"эвакуация", L"-"},
        {L"", L"Введите название группы"},
        {L"Новая", L"-"},
    };
    for (const auto& [name, refusal] : cases)
        EXPECT_EQ(text(frm::createGroupRefusal(name, groups)), refusal) << name;
}

TEST(MessagePanelRules, AddingAMessageStopsAtTheFirstRefusal) {
    // The name, the selection with whether it carries a group, and the gong and message entries;
    // two of each are offered, under the group "Эвакуация".
    const auto input = [](const wchar_t* name, NewMessageInput::Selection selection, bool group, int gong,
                          int message) {
        NewMessageInput in;
        in.name = name;
        in.selection = selection;
        in.groupPayload = group;
        in.groupName = L"Эвакуация";
        in.gongIndex = gong;
        in.gongCount = 2;
        in.messageIndex = message;
        in.messageCount = 2;
        in.takenNames = {L"Обед: Пожар", L"Эвакуация: Сбор"};
        return in;
    };
    const auto under = NewMessageInput::groupUnderRoot;
    const std::pair<NewMessageInput, std::wstring> cases[] = {
        {input(L"Пожар", under, true, 0, 1), L"-"},
        {input(L"Пожар", under, true, -1, 1), L"-"},
        {input(L"", NewMessageInput::nothing, true, 0, 1), L"Введите название сообщения"},
        {input(L"Пожар", NewMessageInput::nothing, true, 0, -1), L"Выделите группу"},
        {input(L"Пожар", NewMessageInput::deeperItem, true, 0, -1), L"Необходимо выделить группу"},
        {input(L"Пожар", under, false, 0, -1), L"Необходимо выбрать сообщение"},
        {input(L"Сбор", under, false, 0, 1), L"It is incorrect data or type of item"},
        {input(L"Сбор", under, true, 5, 1), L"Одинаковое название в группе"},
        {input(L"Пожар", under, true, 2, 7), L"Internal error. Position gong outside the range. 2 of 2"},
        {input(L"Пожар", under, true, 0, 2), L"Internal error. Position message outside the range. 2 of 2"},
    };
    for (const auto& [in, refusal] : cases)
        EXPECT_EQ(text(frm::addMessageRefusal(in)), refusal) << in.name << in.messageIndex;
}

TEST(MessagePanelRules, DeletingIsRefusedWhilePlayingAndForScheduledMessages) {
    const MessageItem lunch =
        group(L"Обед", {message(L"Начало", L"/m/1.mp3"), message(L"Конец", L"/m/2.mp3")});
    const MessageItem other = group(L"Другое", {group(L"Вложенная", {message(L"Начало", L"/m/3.mp3")})});
    const auto scheduled = [](const std::wstring& name) { return name == L"Обед: Конец"; };
    const std::tuple<bool, const MessageItem*, std::wstring, std::wstring> cases[] = {
        {true, &other, L"", L"Остановите воспроизведение"},
        {false, nullptr, L"", L"There is no selection to delete an action"},
        {false, &lunch, L"", L"Выбранная единица воспроизведения входит в задание"},
        {false, &lunch.children[1], L"Обед", L"Выбранная единица воспроизведения входит в задание"},
        {false, &lunch.children[0], L"Обед", L"-"},
        {false, &other, L"", L"-"},
    };
    for (const auto& [busy, selected, prefix, refusal] : cases)
        EXPECT_EQ(text(frm::deleteRefusal(busy, selected, prefix, scheduled)), refusal) << prefix;
}

TEST(MessagePanelRules, MessagesAreOfferedByGroupAndName) {
    const MessageItem root =
        group(L"", {group(L"Обед", {message(L"Начало", L"/m/начало.mp3", L"/g/гонг.mp3")}),
                    group(L"Другое", {group(L"Вложенная", {message(L"Тест", L"/m/тест.mp3")})}),
                    message(L"В корне", L"/m/корень.mp3")});
    for (const bool alarm : {false, true}) {
        std::set<std::wstring> used;
        const auto playbacks = frm::messagePlaybacks(root, L"", alarm, &used);
        const std::tuple<std::wstring, std::wstring, std::wstring> expected[] = {
            {L"Обед: Начало", L"начало", L"/m/начало.mp3"},
            {L"Вложенная: Тест", L"тест", L"/m/тест.mp3"},
            {L": В корне", L"корень", L"/m/корень.mp3"},
        };
        ASSERT_EQ(playbacks.size(), 3u);
        for (std::size_t index = 0; index < playbacks.size(); ++index) {
            const auto track = std::dynamic_pointer_cast<frm::PlaybackTrack>(playbacks[index]);
            ASSERT_TRUE(track);
            EXPECT_EQ(track->getName(), std::get<0>(expected[index]));
            EXPECT_EQ(track->getMessageName(), std::get<1>(expected[index]));
            EXPECT_EQ(track->getMessagePath(), std::get<2>(expected[index]));
            EXPECT_EQ(track->getGongPath(), L"");
            EXPECT_EQ(track->getKind(), alarm ? 5 : 4);
            EXPECT_EQ(track->isAlarm(), alarm);
        }
        EXPECT_EQ(used.size(), 3u);
    }
}

TEST(MessagePanelRules, TheServicePanelPlaysGongAndMessageOnlyWhenBothExistAndDecode) {
    test::TempFolder files;
    const std::wstring gong = base::fromUtf8(files.file("Колокол.mp3"));
    const std::wstring file = base::fromUtf8(files.file("Обед.v1.mp3"));
    const std::wstring missing = base::fromUtf8(files.file("нет.mp3"));
    const std::wstring wav = base::fromUtf8(files.file("запись.mp3"));
    ASSERT_TRUE(test::writeSineMp3(files.file("Колокол.mp3"), 900, 0.3));
    ASSERT_TRUE(test::writeSineMp3(files.file("Обед.v1.mp3"), 700, 0.3));
    test::writeSineWav(files.file("запись.mp3"), 700, 3);
    using Titles = std::vector<std::wstring>;
    const std::tuple<MessageItem, Titles, std::wstring> cases[] = {
        {message(L"Обед", file, gong), {L"Колокол", L"Обед.v1"}, L"-"},
        {message(L"Обед", file), {L"Обед.v1"}, L"-"},
        {message(L"Обед", missing, gong), {}, L"Файл сообщения не найден: '" + missing + L"'"},
        {message(L"Обед", file, missing), {}, L"Файл гонга не найден: '" + missing + L"'"},
        {message(L"Обед", wav, gong), {}, L"Файл сообщения не воспроизводится: '" + wav + L"'"},
        {message(L"Обед", file, wav), {}, L"Файл гонга не воспроизводится: '" + wav + L"'"},
    };
    for (const auto& [item, titles, refusal] : cases) {
        const frm::ServicePlaylist playlist = frm::servicePlaylist(item);
        Titles got;
        for (const auto& entry : playlist.items) got.push_back(entry.title);
        EXPECT_EQ(got, titles);
        EXPECT_EQ(text(playlist.refusal), refusal);
        if (titles.size() == 2) {
            EXPECT_EQ(playlist.items[0].path, gong);
        }
        // The alarm panel refuses the same files before it takes any loudspeaker.
        EXPECT_EQ(text(frm::alarmLaunch(item).refusal), refusal);
    }
}

TEST(MessagePanelRules, TheAlarmPanelLaunchesTheMessageAfterItsGong) {
    const MessageItem fire = message(L"Пожар", L"/a/пожар.mp3", L"/g/сирена.mp3");
    const frm::AlarmLaunch launch = frm::alarmLaunch(fire);
    EXPECT_EQ(launch.messagePath + L" " + launch.gongPath, L"/a/пожар.mp3 /g/сирена.mp3");
    EXPECT_EQ(text(launch.refusal), L"Файл сообщения не найден: '/a/пожар.mp3'");
    EXPECT_EQ(frm::messageInformation(fire), L"Название:\n'Пожар'\nГонг:\n'сирена'\nСообщение:\n'пожар'");
    EXPECT_EQ(frm::messageInformation(group(L"Эвакуация", {})), L"");
}

}  // namespace
