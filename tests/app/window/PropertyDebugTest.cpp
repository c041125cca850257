// The debug messages page (also after another device's), the error lines a device sends, the
// direct command exchange and the sound-pressure test, against emulated loudspeakers.

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/scrolwin.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <string>
#include <thread>

#include "support/AudioFlash.h"
#include "support/DispatcherWait.h"
#include "support/TempFolder.h"
#include "tests/app/window/PropertyPanelFixture.h"

namespace {

using namespace std::chrono_literals;

class PropertyDebugTest : public test::PropertyPanelFixture {
protected:
    void openDebugPage() {
        loudspeakers_.add(1);
        openWindow(true);
        ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
        openProperties(0);
        settled(emulator());
        showTab(L"Отладочные сообщения");
        ASSERT_EQ(propertyPanel()->currentTab(), frm::fb::PropertyDevicePanel::ID_PAGE_DEBUG_MESSAGE);
    }
    test::LoudspeakerEmulator& emulator() { return loudspeakers_.loudspeaker(0); }
    std::size_t sent(const std::string& command) {
        const auto received = emulator().received();
        return std::count(received.begin(), received.end(), command);
    }
};

TEST_F(PropertyDebugTest, TheHistoryShowsColouredMessagesAndPollingEndsWithThePage) {
    openDebugPage();
    emulator().answer("get dbg", "!5 #gOK##rest\r\nU=12\r\n");
    wxCheckBox* request = pageControls<wxCheckBox>().at(0);
    click(request, wxRect(request->GetClientSize()));
    wxTextCtrl* history = pageControls<wxTextCtrl>().at(2);
    ASSERT_TRUE(pumpUntil([&] { return history->GetValue() == L"OKrest"; }));
    wxTextAttr style;
    ASSERT_TRUE(history->GetStyle(1, style));
    EXPECT_EQ(style.GetBackgroundColour(), wxColour(174, 255, 174));
    EXPECT_TRUE(screenshot("property_debug"));

    // A command typed on the page gets its answer there.
    emulator().answer("get hello", "hello back \r\n");
    wxTextCtrl* command = pageControls<wxTextCtrl>().at(0);
    command->SetFocus();
    command->ChangeValue(L"get hello");
    // The key goes where the X server has put the focus by then.
    ASSERT_TRUE(pumpUntil([&] { return wxWindow::FindFocus() == command; }));
    wxUIActionSimulator().Char(WXK_RETURN);
    EXPECT_TRUE(pumpUntil([&] { return pageControls<wxTextCtrl>().at(1)->GetValue() == L"hello back"; }));

    wxChoice* rate = nullptr;
    for (wxChoice* choice : pageControls<wxChoice>()) {
        if (choice->GetToolTipText() == L"Частота обновления") rate = choice;
    }
    ASSERT_NE(rate, nullptr);
    const std::chrono::milliseconds period(std::stoul(rate->GetStringSelection().ToStdString()));
    showTab(L"Общие");
    ASSERT_TRUE(test::waitForDispatcher());
    // A poll sent before the page was left is sent again until it is answered. The transport sends
    // a device one request at a time, in order: once an exchange queued now is answered, the
    // loudspeaker has heard the last of the poll.
    std::string reply;
    ASSERT_TRUE(
        offWindow([&] { return transport_->sync(emulator().address(), "get hello", reply, 0, 500); }));
    emulator().clearReceived();
    // A poll still queued would run before a mark queued a period later.
    const test::DispatcherMark polled(period);
    ASSERT_TRUE(pumpUntil([&] { return polled.passed(); }));
    EXPECT_EQ(sent("get dbg"), 0u);
}

TEST_F(PropertyDebugTest, AnotherDevicesNumberedMessagesShowWholeAndInOrder) {
    loudspeakers_.add(2);
    loudspeakers_.loudspeaker(0).answer("get dbg", "!50 first device\r\n");
    loudspeakers_.loudspeaker(1).answer("get dbg", "!40 b\r\n!60 c\r\n");
    openWindow(true);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети" && deviceState(1) == L"В сети"; }));
    openProperties(0);
    settled(loudspeakers_.loudspeaker(0));
    showTab(L"Отладочные сообщения");
    wxCheckBox* request = pageControls<wxCheckBox>().at(0);
    click(request, wxRect(request->GetClientSize()));
    wxTextCtrl* history = pageControls<wxTextCtrl>().at(2);
    ASSERT_TRUE(pumpUntil([&] { return history->GetValue() == L"first device"; }));

    clickLabelled(L"&Закрыть");
    ASSERT_TRUE(pumpUntil([&] { return deviceList()->IsShownOnScreen(); }));
    openProperties(1);
    ASSERT_EQ(propertyPanel()->currentTab(), frm::fb::PropertyDevicePanel::ID_PAGE_DEBUG_MESSAGE);
    if (!request->GetValue()) click(request, wxRect(request->GetClientSize()));
    EXPECT_TRUE(pumpUntil([&] { return history->GetValue() == L"b\nc"; }));
}

TEST_F(PropertyDebugTest, TenThousandErrorLinesKeepTheLogBounded) {
    openDebugPage();
    const net::IpAndPort headEnd("127.0.0.1", port_);
    wxTextCtrl* log = pageControls<wxTextCtrl>().at(4);
    // A hundred lines at a time, each hundred once the page shows the last line of the one before:
    // on a loaded machine loopback drops datagrams of a longer burst. A last line the page does not
    // show after a while is sent again.
    for (int first = 0; first < 10000; first += 100) {
        for (int line = first; line < first + 100; ++line)
            emulator().send("ERR " + std::to_string(line), headEnd);
        const std::string last = "ERR " + std::to_string(first + 99);
        int polls = 0;
        ASSERT_TRUE(pumpUntil([&] {
            if (log->GetValue().EndsWith(last)) return true;
            if (++polls % 50 == 0) emulator().send(last, headEnd);
            return false;
        })) << last;
        ASSERT_LE(log->GetNumberOfLines(), 1000);
    }
    // The latest thousand, in order.
    ASSERT_EQ(log->GetNumberOfLines(), 1000);
    long previous = 0;
    for (int line = 0; line < 1000; ++line) {
        long number = -1;
        ASSERT_TRUE(log->GetLineText(line).AfterFirst(L' ').ToLong(&number)) << log->GetLineText(line);
        EXPECT_GE(number, std::max(previous, 8900L)) << line;
        previous = number;
    }
    EXPECT_EQ(previous, 9999);
}

TEST_F(PropertyDebugTest, ASoundPressureTestRunsAndStops) {
    loudspeakers_.add(1);
    // The sources page reads the memory's scenarios; an unanswered read would hold up the test.
    test::AudioFlash flash(emulator(), 4096);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(emulator());
    showTab(L"Источники");
    questions_.numbers = {5};
    clickLabelled(L"Тест звукового давления (1 кГц)");
    ASSERT_EQ(questions_.questions.size(), 1u);
    EXPECT_EQ(questions_.questions[0].buttons, frm::Questions::Question::Buttons::okCancel);
    EXPECT_EQ(questions_.questions[0].icon, frm::Questions::Question::Icon::exclamation);
    EXPECT_TRUE(emulator().tonePlaying());
    ASSERT_TRUE(pumpUntil([&] { return labelled(L"Завершить тест") != nullptr; }));
    clickLabelled(L"Завершить тест");
    EXPECT_FALSE(emulator().tonePlaying());
    EXPECT_TRUE(pumpUntil([&] { return labelled(L"Тест звукового давления (1 кГц)") != nullptr; }));
}

TEST_F(PropertyDebugTest, SavedCommandsAreAddedRemovedAndKeptAsASuite) {
    loudspeakers_.add(1);
    openWindow(true);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
    openProperties(0);
    settled(emulator());
    wxTextCtrl* command = nullptr;
    for (wxTextCtrl* box : pageControls<wxTextCtrl>()) {
        if (box->GetToolTipText() == L"Команда") command = box;
    }
    ASSERT_NE(command, nullptr);
    for (const wchar_t* text : {L"a", L"b", L"c"}) {
        command->ChangeValue(text);
        clickLabelled(L"+");
        EXPECT_TRUE(command->IsEmpty());
    }
    // A row's own "-" takes the row away once its click is over.
    wxWindow* second = nullptr;
    for (wxTextCtrl* box : pageControls<wxTextCtrl>()) {
        if (box->GetValue() == L"b") second = box->GetParent();
    }
    ASSERT_NE(second, nullptr);
    wxWindow* remove = wxWindow::FindWindowByLabel(L"-", second);
    click(remove, wxRect(remove->GetClientSize()));
    // The saved rows' boxes, oldest first.
    const auto rows = [&] {
        std::vector<std::wstring> texts;
        for (wxTextCtrl* box : pageControls<wxTextCtrl>()) {
            if (dynamic_cast<wxScrolledWindow*>(box->GetParent()->GetParent()))
                texts.push_back(box->GetValue().ToStdWstring());
        }
        return texts;
    };
    EXPECT_TRUE(pumpUntil([&] { return rows() == std::vector<std::wstring>{L"a", L"c"}; }));

    questions_.modal = [&](wxDialog& dialog) {
        return whenShown(dialog, [&] {
            wxDynamicCast(wxWindow::FindWindowByName(L"suiteName", &dialog), wxTextCtrl)
                ->ChangeValue(L"Набор");
            clickInDialog(wxWindow::FindWindowByLabel(L"Сохранить", &dialog));
            clickInDialog(wxWindow::FindWindowByLabel(L"Закрыть", &dialog));
        });
    };
    clickLabelled(L"^");
    EXPECT_EQ(test::readWholeFile(root_.dataFolder() + "/commands/Набор.txt"), "a\nc\n");
}

}  // namespace
