#pragma once
// What the panels' window tests share beyond the main window's fixture: the view a button of the
// main window shows, controls found by name or label, choices and check boxes changed as the
// operator changes them, the chosen loudspeaker the channels play on, the player's state, the
// green rows of what plays and headers that show whole.

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobox.h>

#include <type_traits>

#include "audio/AlarmChannel.h"
#include "audio/AudioStartup.h"
#include "audio/Player.h"
#include "foundation/TextConversion.h"
#include "panels/SourceSchedulerPanel.h"
#include "tests/app/window/WindowFixture.h"

namespace test {

// The first control of the type in the window or below it that is shown on screen.
template <class Control>
Control* findShown(wxWindow* window) {
    auto* control = dynamic_cast<Control*>(window);
    if (control != nullptr && control->IsShownOnScreen()) return control;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* found = findShown<Control>(child)) return found;
    }
    return nullptr;
}

// The first control of the type with the label (or, for a bitmap button, the tool tip).
template <class Control>
Control* labelled(wxWindow* window, const wxString& label) {
    auto* control = dynamic_cast<Control*>(window);
    if (control != nullptr && (control->GetLabel() == label || control->GetToolTipText() == label))
        return control;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* found = labelled<Control>(child, label)) return found;
    }
    return nullptr;
}

// The control of the name below the window; a failure of the test when it is missing.
template <class Control>
Control* named(wxWindow* window, const char* name) {
    auto* found = dynamic_cast<Control*>(wxWindow::FindWindowByName(name, window));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// A choice, a check box or a radio box changed with the event the operator's change sends.
template <class Control>
void change(Control* control, int value) {
    wxCommandEvent event(std::is_same_v<Control, wxCheckBox>   ? wxEVT_CHECKBOX
                         : std::is_same_v<Control, wxRadioBox> ? wxEVT_RADIOBOX
                                                               : wxEVT_CHOICE,
                         control->GetId());
    if constexpr (std::is_same_v<Control, wxCheckBox>) {
        control->SetValue(value != 0);
    } else {
        control->SetSelection(value);
    }
    event.SetEventObject(control);
    event.SetInt(value);
    control->ProcessWindowEvent(event);
}

inline bool playerPlays() {
    const base::SingletonSlot<Player>::Use player(Player::instanceSlot());
    return player && player->isPlaying();
}

// Whether the row is drawn in the green of what plays.
inline bool green(wxListCtrl* list, long row) {
    return row < list->GetItemCount() && list->GetItemTextColour(row) == wxColour(0, 160, 33);
}

// The texts of the list's column, row by row.
inline std::vector<wxString> column(wxListCtrl* list, int index) {
    std::vector<wxString> texts;
    for (long row = 0; row < list->GetItemCount(); ++row) texts.push_back(list->GetItemText(row, index));
    return texts;
}

// Whether every header of the list shows whole: its column holds the text and the header's margins
// on both sides.
inline ::testing::AssertionResult headersWhole(wxListCtrl* list) {
    constexpr int kMargins = 16;
    for (int index = 0; index < list->GetColumnCount(); ++index) {
        wxListItem header;
        header.SetMask(wxLIST_MASK_TEXT);
        list->GetColumn(index, header);
        const int needed = list->GetTextExtent(header.GetText()).x + kMargins;
        if (list->GetColumnWidth(index) < needed)
            return ::testing::AssertionFailure() << "'" << header.GetText().utf8_str() << "' is "
                                                 << list->GetColumnWidth(index) << " wide, not " << needed;
    }
    return ::testing::AssertionSuccess();
}

class PanelFixture : public WindowFixture {
protected:
    // Clicks the main window's button and waits until a panel of the type shows.
    template <class Panel>
    Panel* openView(const wxString& button) {
        clickButton(button);
        Panel* panel = nullptr;
        EXPECT_TRUE(pumpUntil([&] { return (panel = findShown<Panel>(frame_)) != nullptr; })) << button;
        return panel;
    }
    // Clicks the middle of the window.
    void press(wxWindow* window) {
        ASSERT_NE(window, nullptr);
        click(window, wxRect(window->GetClientSize()));
    }
    // Opens the window with the channels playing on the devices chosen in its list, as the program
    // starts it; with `loudspeakers` emulated, the first online and chosen.
    void openOnChosen(int loudspeakers) {
        loudspeakers_.add(loudspeakers);
        openWindow();
        audio::setSelectionProvider([frame = frame_] {
            frm::Targets targets;
            if (frame) {
                for (const auto& device : frame->getTargetDevices()) targets.insert(device);
            }
            return targets;
        });
        if (loudspeakers == 0) return;
        ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
        wxRect row;
        ASSERT_TRUE(deviceList()->GetItemRect(0, row));
        click(deviceList(), row);
        ASSERT_TRUE(pumpUntil([&] { return frame_->getTargetDevices().size() == 1; }));
    }
    // Launches the message on the priority channel, on every loudspeaker.
    void launchBroadcast(int priority, const wchar_t* description, const std::string& message) {
        const base::SingletonSlot<frm::AlarmChannel>::Use alarm(frm::AlarmChannel::instanceSlot());
        frm::AlarmChannel::Broadcast broadcast;
        broadcast.priority = priority;
        broadcast.description = description;
        broadcast.messagePath = base::fromUtf8(message);
        for (const auto& device : frame_->getDeviceCollection().getDevices())
            broadcast.targets.insert(device);
        ASSERT_TRUE(alarm->launch(broadcast));
    }
    // The scheduler view with the place of the name chosen.
    frm::SourceSchedulerPanel* schedulerOn(const wxString& place) {
        auto* scheduler = openView<frm::SourceSchedulerPanel>(wxT("Планировщик"));
        if (scheduler == nullptr) return nullptr;
        auto* places = named<wxChoice>(scheduler, "place");
        const int found = places->FindString(place);
        EXPECT_NE(found, wxNOT_FOUND) << place;
        change(places, found);
        return scheduler;
    }
};

}  // namespace test
