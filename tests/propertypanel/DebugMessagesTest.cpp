// The debug page's reading of diagnostic replies, and the error lines a device sends.

#include <gtest/gtest.h>

#include "propertypanel/ConsoleLog.h"
#include "propertypanel/DebugMessages.h"

namespace {

using namespace frm::debugpage;

TEST(DebugMessages, NumberedMessagesAreDrawnWithTheirColoursAndRedrawnInPlace) {
    DebugMessages messages;
    struct Step {
        const char* reply;
        const wchar_t* history;
        std::vector<frm::debugpage::Run> lastRuns;  // of the reply's last edit; none when it changed nothing
    };
    const Step steps[] = {
        {"!5 #gOK##rest", L"OKrest", {{L"OK", 'g'}, {L"rest", '#'}}},
        {"!5 #gOK##rest", L"OKrest", {}},
        {"!5 #gOK2", L"OK2", {{L"OK2", 'g'}}},
        {"!6 next", L"OK2\nnext", {{L"next", 0}}},
        {"!4 older", L"OK2\nnext", {}},
        {"!7", L"OK2\nnext\n", {}},
        {"!8 a#xb#", L"OK2\nnext\n\naxb", {{L"axb", 0}}},
        {"!9 #y", L"OK2\nnext\n\naxb\n", {{L"", 'y'}}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.reply);
        const Reply reply = messages.take(0, step.reply);
        EXPECT_EQ(messages.text(0), step.history);
        if (!step.lastRuns.empty()) {
            ASSERT_FALSE(reply.edits.empty());
            EXPECT_EQ(reply.edits.back().append, step.lastRuns);
        }
        // A reply of numbered lines only is painted whole.
        EXPECT_EQ(reply.plain, step.reply);
    }
    EXPECT_TRUE(messages.text(1).empty());
}

TEST(DebugMessages, PlainLinesFormOneBlock) {
    DebugMessages messages;
    const Reply reply = messages.take(1, "U=12.1\r\n\r\n!1 line\nI=0.3\n!x not a number");
    EXPECT_EQ(reply.plain, "U=12.1\nI=0.3\n!x not a number\n");
    EXPECT_EQ(messages.text(1), L"line");
}

TEST(DebugMessages, ANumberFarBelowTheLastStartsTheNumberingAgainForEveryTarget) {
    DebugMessages messages;
    EXPECT_FALSE(messages.take(0, "!100 main").numberingRestarted);
    EXPECT_FALSE(messages.take(1, "!90 line").numberingRestarted);
    // 85 is 15 below 100: an old message, not a new numbering.
    EXPECT_FALSE(messages.take(0, "!85 ignored").numberingRestarted);
    EXPECT_EQ(messages.text(0), L"main");
    // 60 is more than 20 below 85, the last number seen: both targets count again.
    EXPECT_TRUE(messages.take(1, "!60 restarted").numberingRestarted);
    EXPECT_EQ(messages.text(1), L"line\nrestarted");
    EXPECT_FALSE(messages.take(0, "!61 again").numberingRestarted);
    EXPECT_EQ(messages.text(0), L"main\nagain");
}

TEST(DebugMessages, TheHistoryStaysBoundedAndKeepsTheCurrentMessage) {
    DebugMessages messages;
    const std::string text(1000, 'x');
    for (int number = 1; number <= 1000; ++number) {
        const Reply reply = messages.take(0, "!" + std::to_string(number) + " " + text);
        ASSERT_LE(messages.text(0).size(), DebugMessages::kMaximumLength);
    }
    messages.take(0, "!1000 redrawn");
    const std::wstring& history = messages.text(0);
    EXPECT_EQ(history.substr(history.size() - 8), L"\nredrawn");
    messages.clear(0);
    EXPECT_TRUE(messages.text(0).empty());
}

TEST(ConsoleLog, KeepsErrorLinesOnlyAndTheNewestThousand) {
    frm::ConsoleLog log;
    const struct {
        const char* line;
        bool kept;
    } cases[] = {{"ER", false}, {"err lower", false}, {"ERR", true}, {"ERR[x]: y\r\n", true}, {"OK", false}};
    for (const auto& c : cases) EXPECT_EQ(log.take(c.line).has_value(), c.kept) << c.line;
    EXPECT_EQ(log.text(), L"ERR\nERR[x]: y");

    // An invalid byte stays on its line.
    const auto change = log.take("ERR \xFF");
    ASSERT_TRUE(change);
    EXPECT_EQ(change->append, L"\nERR \xFFFD");
    EXPECT_EQ(change->dropHead, 0u);

    for (int n = 0; n < 10000; ++n) log.take("ERR " + std::to_string(n));
    EXPECT_EQ(log.size(), frm::ConsoleLog::kMaximumLines);
    const auto last = log.take("ERR last");
    EXPECT_EQ(last->dropHead, std::wstring(L"ERR 9000\n").size());
    EXPECT_EQ(log.text().substr(0, 8), L"ERR 9001");
    log.clear();
    EXPECT_TRUE(log.text().empty());
}

}  // namespace
