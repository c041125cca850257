// One message box at a time: what waits while a box is open and what the next box says; a line
// wider than the box is broken where it fits.

#include <gtest/gtest.h>

#include "app/kit/MessageBoxes.h"

namespace {

using frm::MessageBoxes;
using Icon = debug::MessageIcon;

MessageBoxes::Box box(const wchar_t* text, Icon icon = Icon::warning) {
    return {icon == Icon::information ? L"NOTICE" : icon == Icon::warning ? L"WARN" : L"ERROR", text, icon};
}

MessageBoxes::Box fatal(const wchar_t* text) {
    return {L"FATAL", text, Icon::error};
}

TEST(MessageBoxes, TextsThatComeWhileABoxIsOpenWaitForOneBoxAfterIt) {
    struct Step {
        enum { offer, close } what;
        MessageBoxes::Box box;  // offered
        std::wstring opens;     // the text of the box the step opens; empty for none
        bool open;              // a box is open after the step
        std::size_t waiting;
    };
    const auto offer = [](MessageBoxes::Box offered, std::wstring opens, std::size_t waiting) {
        return Step{Step::offer, std::move(offered), std::move(opens), true, waiting};
    };
    const auto close = [](std::wstring opens, std::size_t waiting = 0) {
        const bool open = !opens.empty();
        return Step{Step::close, {}, std::move(opens), open, waiting};
    };
    const wchar_t* const summary =
        L"Неверный формат данных. Задания планировщика не удалось загрузить, кол-во: 2\n"
        L"1. Ошибка загрузки настроек. Объект 'Плейлист', контент 'Нет такого'\n"
        L"2. Ошибка загрузки настроек. Объект 'Радио', контент 'Эфир'";
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"a box, then nothing", {offer(box(L"a"), L"a", 0), close(L""), offer(box(L"b"), L"b", 0)}},
        {"one text waited: shown as it is",
         {offer(box(L"a"), L"a", 0), offer(box(L"b"), L"", 1), close(L"b"), close(L"")}},
        {"three waited: the latest, and the others summed up",
         {offer(box(L"a"), L"a", 0), offer(box(L"b"), L"", 1), offer(box(L"c"), L"", 2),
          offer(box(L"d"), L"", 3), close(L"d\n\n… и ещё 2 сообщения в журнале"), offer(box(L"e"), L"", 1),
          close(L"e"), close(L"")}},
        {"an error among warnings goes first, the latest of them",
         {offer(box(L"a"), L"a", 0), offer(box(L"w1"), L"", 1), offer(box(L"e1", Icon::error), L"", 2),
          offer(box(L"n1", Icon::information), L"", 3), offer(box(L"e2", Icon::error), L"", 4),
          close(L"e2\n\n… и ещё 3 сообщения в журнале"), close(L"")}},
        {"every fatal text has a box of its own, then the summary of the load over a later error",
         {offer(box(L"a"), L"a", 0), offer(box(L"n1", Icon::information), L"", 1),
          offer(box(L"Internal error. Unknown task. Failed load the task", Icon::error), L"", 2),
          offer(fatal(L"f1"), L"", 3), offer(box(summary, Icon::error), L"", 4), offer(box(L"w1"), L"", 5),
          offer(fatal(L"f2"), L"", 6), offer(box(L"e3", Icon::error), L"", 7), close(L"f1", 6),
          close(L"f2", 5), close(summary + std::wstring(L"\n\n… и ещё 4 сообщения в журнале")), close(L"")}},
        {"a fatal text that comes while a fatal box is open waits for its own",
         {offer(fatal(L"f1"), L"f1", 0), offer(fatal(L"f2"), L"", 1), offer(box(L"e1", Icon::error), L"", 2),
          close(L"f2", 1), close(L"e1"), close(L"")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageBoxes boxes;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            SCOPED_TRACE(i);
            const std::optional<MessageBoxes::Box> opened =
                step.what == Step::offer ? boxes.offer(step.box) : boxes.closed();
            EXPECT_EQ(opened ? opened->text : L"", step.opens);
            EXPECT_EQ(boxes.open(), step.open);
            EXPECT_EQ(boxes.waiting(), step.waiting);
        }
    }
}

TEST(MessageBoxes, TheNextBoxTakesTheCaptionAndIconOfItsTextAndAStopDropsWhatWaits) {
    MessageBoxes boxes;
    ASSERT_TRUE(boxes.offer(box(L"a")));
    for (int i = 0; i < 5000; ++i) EXPECT_FALSE(boxes.offer(box(L"w")));
    EXPECT_FALSE(boxes.offer(box(L"e", Icon::error)));
    const auto next = boxes.closed();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->caption, L"ERROR");
    EXPECT_EQ(next->icon, Icon::error);
    EXPECT_EQ(next->text, L"e\n\n… и ещё 5000 сообщений в журнале");

    EXPECT_FALSE(boxes.offer(box(L"w")));
    boxes.dropAll();
    EXPECT_FALSE(boxes.open());
    EXPECT_EQ(boxes.waiting(), 0u);
    EXPECT_EQ(boxes.offer(box(L"after"))->text, L"after");
}

TEST(MessageBoxes, TheSumUpSpeaksRussian) {
    const std::pair<std::size_t, const wchar_t*> cases[] = {
        {1, L"… и ещё 1 сообщение в журнале"},     {2, L"… и ещё 2 сообщения в журнале"},
        {4, L"… и ещё 4 сообщения в журнале"},     {5, L"… и ещё 5 сообщений в журнале"},
        {11, L"… и ещё 11 сообщений в журнале"},   {12, L"… и ещё 12 сообщений в журнале"},
        {21, L"… и ещё 21 сообщение в журнале"},   {22, L"… и ещё 22 сообщения в журнале"},
        {111, L"… и ещё 111 сообщений в журнале"}, {1844, L"… и ещё 1844 сообщения в журнале"},
    };
    for (const auto& [count, text] : cases) EXPECT_EQ(frm::moreInTheLog(count), text) << count;
}

// Each character one unit wide.
TEST(MessageBoxes, ALineWiderThanTheBoxIsBrokenWhereItFits) {
    const struct {
        const wchar_t* text;
        int width;
        const wchar_t* fitted;
    } cases[] = {
        {L"short", 10, L"short"},
        {L"one two three four", 9, L"one two\nthree\nfour"},
        {L"one two three", 7, L"one two\nthree"},
        {L"/a/long/path/without/blanks", 10, L"/a/long/pa\nth/without\n/blanks"},
        {L"'Зал 1'\n'Громкоговоритель северного крыла'\n\n'Холл'", 17,
         L"'Зал 1'\n'Громкоговоритель\nсеверного крыла'\n\n'Холл'"},
        {L"ab\tcdefg", 4, L"ab\ncdef\ng"},
        {L" abcdef", 3, L" ab\ncde\nf"},
        {L"abc", 0, L"abc"},
        {L"", 5, L""},
    };
    const auto widthOf = [](const std::wstring& line) { return static_cast<int>(line.size()); };
    for (const auto& c : cases)
        EXPECT_EQ(frm::fitToWidth(c.text, c.width, widthOf), c.fitted) << c.text << " " << c.width;
}

}  // namespace
