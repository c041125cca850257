#pragma once
// What the tests of the property page share: opening a device's page from the main window's
// device list with a double click, its notebook's tabs, and its controls by name or label. The
// page reads and writes its device off the window: a click or a change of tab is followed by
// waiting until the page takes edits again.

#include <unistd.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "foundation/TextConversion.h"
#include "support/DispatcherWait.h"
#include "tests/app/window/WindowFixture.h"

namespace test {

class PropertyPanelFixture : public WindowFixture {
protected:
    // Double-clicks the device's row and waits until its page shows.
    void openProperties(long row) {
        wxRect area;
        ASSERT_TRUE(deviceList()->GetItemRect(row, area));
        doubleClick(deviceList(), area);
        // The page is made by the first opening.
        ASSERT_TRUE(
            pumpUntil([&] { return propertyPanel() != nullptr && propertyPanel()->IsShownOnScreen(); }));
    }

    wxNotebook* notebook() {
        for (wxWindow* child : propertyPanel()->GetChildren()) {
            if (auto* book = dynamic_cast<wxNotebook*>(child)) return book;
        }
        return nullptr;
    }

    std::vector<std::wstring> tabs() {
        std::vector<std::wstring> titles;
        for (std::size_t page = 0; page < notebook()->GetPageCount(); ++page)
            titles.push_back(notebook()->GetPageText(page).ToStdWstring());
        return titles;
    }

    // Two loudspeakers and a console with the zones {1: loudspeaker 1, 2: loudspeaker 2}, the second
    // loudspeaker playing an alert from its own memory, so that its zone is not to be changed now;
    // the console's page "Зоны трансляции" shows once every device is online and answering.
    void openZonesBesideAPlayingLoudspeaker() {
        loudspeakers_.add(2);
        loudspeakers_.addConsole();
        loudspeakers_.console(0).setZones({{1, {1, -1, {1}}}, {2, {2, -1, {2}}}});
        // The first loudspeaker's memory refuses its read at once rather than leaving it
        // unanswered, which would count it offline until its next status packet.
        loudspeakers_.loudspeaker(0).answer("voiceMemSize", "ERR[voiceMemSize]: no memory");
        auto status = loudspeakers_.loudspeaker(1).status();
        status.playbackState = 9;
        loudspeakers_.loudspeaker(1).setStatus(status);
        openWindow();
        // The refusal is about the playing loudspeaker, which must be heard from first.
        ASSERT_TRUE(pumpUntil([&] {
            return deviceState(0) == L"В сети" && deviceState(1) == L"В сети" && deviceState(2) == L"В сети";
        }));
        openProperties(2);
        showTab(L"Зоны трансляции");
        ASSERT_EQ(propertyPanel()->currentTab(), 1031);
    }

    // Switches the notebook to the page as a click on its tab does.
    void showTab(const wxString& title) {
        for (std::size_t page = 0; page < notebook()->GetPageCount(); ++page) {
            if (notebook()->GetPageText(page) == title) notebook()->SetSelection(page);
        }
        ASSERT_TRUE(handleEvents());
        settle();
    }

    // Whether the page takes edits: what it read or wrote is shown. A closed page is done too.
    bool pageSettled() {
        frm::PropertyDevicePanel* panel = propertyPanel();
        if (panel == nullptr || !panel->IsShownOnScreen()) return true;
        return panel->IsThisEnabled() && !panel->pageWaits();
    }
    // Waits until the page settled; a page whose question the operator declined stays as it is.
    // Called once the action's handlers ran: a page that set off work waits from then on. A page
    // that still waits is a fatal failure, which a caller ends on with ASSERT_NO_FATAL_FAILURE.
    void settle() {
        const int asked = questions_.yesNoAsked;
        const auto declined = [&] { return questions_.yesNoAsked > asked && !questions_.yes; };
        if (!pumpUntil([&] { return pageSettled() || declined(); })) FAIL() << "the page still waits";
    }
    // A real click on a control of the page, and the page settled again.
    void click(wxWindow* window, const wxRect& area) {
        WindowFixture::click(window, area);
        settle();
    }

    // The current page's controls of a type, in the order of the layout.
    template <class Control>
    std::vector<Control*> pageControls() {
        std::vector<Control*> found;
        const std::function<void(wxWindow*)> collect = [&](wxWindow* window) {
            if (auto* control = dynamic_cast<Control*>(window)) found.push_back(control);
            for (wxWindow* child : window->GetChildren()) collect(child);
        };
        collect(notebook()->GetCurrentPage());
        return found;
    }

    template <class Control>
    Control* control(const wxString& name) {
        return dynamic_cast<Control*>(wxWindow::FindWindowByName(name, propertyPanel()));
    }
    wxWindow* labelled(const wxString& label) { return wxWindow::FindWindowByLabel(label, propertyPanel()); }
    void clickLabelled(const wxString& label) {
        wxWindow* window = labelled(label);
        ASSERT_NE(window, nullptr) << label;
        click(window, wxRect(window->GetClientSize()));
    }

    // Replaces the box's text by typing, as the operator does.
    void type(wxTextCtrl* box, const std::string& text) {
        ASSERT_NE(box, nullptr);
        box->SetFocus();
        box->SelectAll();
        wxUIActionSimulator().Text(text.c_str());
        ASSERT_TRUE(pumpUntil([&] { return box->GetValue() == text; }));
    }

    // Runs `act` on a memory page that holds no memory read: no question, prompt or dialog comes,
    // no command of the audio memory reaches the device once the dispatcher ran what was queued,
    // and the page shows no memory and holds nothing for apply.
    void expectMemoryUntouched(EmulatedDevice& device, const std::function<void()>& act) {
        int dialogs = 0;
        const auto modal = questions_.modal;
        questions_.modal = [&dialogs](wxDialog&) {
            ++dialogs;
            return wxID_CANCEL;
        };
        const int yesNo = questions_.yesNoAsked;
        const std::size_t asked = questions_.asked.size();
        const std::size_t files = questions_.wildcards.size();
        device.clearReceived();
        act();
        ASSERT_TRUE(waitForDispatcher());
        ASSERT_TRUE(handleEvents());
        questions_.modal = modal;
        EXPECT_EQ(questions_.yesNoAsked, yesNo);
        EXPECT_EQ(questions_.asked.size(), asked);
        EXPECT_EQ(questions_.wildcards.size(), files);
        EXPECT_EQ(dialogs, 0);
        for (const std::string& command : device.received())
            EXPECT_NE(command.rfind("voiceMem", 0), 0u) << command;
        EXPECT_FALSE(propertyPanel()->pageEdited());
        EXPECT_FALSE(labelled(L"&Применить")->IsEnabled());
        for (const wxListCtrl* list : pageControls<wxListCtrl>()) EXPECT_EQ(list->GetItemCount(), 0);
    }

    // Takes a menu item of the page as a choice in its popup menu does.
    void startMenuItem(int id) {
        wxCommandEvent choice(wxEVT_MENU, id);
        choice.SetEventObject(propertyPanel());
        propertyPanel()->GetEventHandler()->ProcessEvent(choice);
    }
    // The same, and waits until the page shows what the item did.
    void chooseMenuItem(int id) {
        startMenuItem(id);
        settle();
    }

    // Acts once the condition holds, looked at on a timer by whatever loop runs then (a modal
    // dialog's too), which meanwhile takes real clicks.
    static void once(std::function<bool()> condition, std::function<void()> act) {
        auto* timer = new wxTimer();
        timer->Bind(wxEVT_TIMER, [timer, condition, act](wxTimerEvent&) {
            if (!condition()) return;
            timer->Stop();
            // `act` may run the loop (a real click does): the timer goes after it.
            act();
            wxTheApp->CallAfter([timer] { delete timer; });
        });
        timer->Start(20);
    }
    // Shows the dialog modally and acts on it once it is on the screen; its return code.
    int whenShown(wxDialog& dialog, std::function<void()> act) {
        once([&dialog] { return dialog.IsShownOnScreen(); }, act);
        return dialog.ShowModal();
    }
    // A real click on a control of a modal dialog; its loop takes the click.
    static void clickInDialog(wxWindow* window) {
        wxUIActionSimulator simulator;
        simulator.MouseMove(
            window->ClientToScreen(wxPoint(window->GetClientSize().x / 2, window->GetClientSize().y / 2)));
        simulator.MouseClick();
    }

    // After its first settings read a loudspeaker asks for its modules' versions; an emulated one
    // has no line-control module and leaves that request unanswered, holding up its next ones.
    // The power supply's version, asked last, ends it: its report is logged.
    void settled(LoudspeakerEmulator& emulator) {
        ASSERT_TRUE(pumpUntil([&] {
            const auto received = emulator.received();
            return std::find(received.begin(), received.end(), "get pssVer") != received.end();
        }));
        const std::wstring device = L"(hw=" + base::widen(emulator.hardwareAddress()) + L")";
        ASSERT_TRUE(pumpUntil([&] {
            for (const LogLine& line : capture_.find(device, L"INFO")) {
                if (line.message.find(L"прошивка") != std::wstring::npos) return true;
            }
            return false;
        }));
        settle();
    }
};

}  // namespace test
