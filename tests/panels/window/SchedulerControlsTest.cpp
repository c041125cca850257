// The scheduler view's controls with real clicks: "Добавить" follows the administrator mode at
// once, and says why it is disabled outside it; the source and the loudspeakers chosen stay chosen
// when the view is opened again; a source without content says why; the filter's time controls
// stand inside their box. The view is pictured locked and with no medium.

#include <wx/app.h>

#include "audio/ListOfPlaylist.h"
#include "foundation/Password.h"
#include "tests/panels/window/PanelFixture.h"

namespace {

class SchedulerControlsTest : public test::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        pref::setString(setting::securityAdministrator.key, base::toUtf8(base::encodePassword(L"admin")));
        writeList(ListOfPlaylist::kMusicFile, {{L"Утро", {{L"Тон 1 кГц", L"sine://1000"}}},
                                               {L"Вечер", {{L"Тон 2 кГц", L"sine://2000"}}}});
        loudspeakers_.add(1);
        openWindow();
        ASSERT_TRUE(pumpUntil([&] { return deviceState(0) == L"В сети"; }));
        frame_->getRootZone()->addDevices({frame_->getDeviceCollection().getDevices().front()});
    }
    frm::SourceSchedulerPanel* openScheduler() {
        panel_ = openView<frm::SourceSchedulerPanel>(L"Планировщик");
        return panel_;
    }
    template <class Control>
    Control* control(const char* name) {
        return test::named<Control>(panel_, name);
    }
    wxWindow* addButton() { return wxWindow::FindWindowByLabel(L"Добавить", panel_); }

    frm::SourceSchedulerPanel* panel_ = nullptr;
};

TEST_F(SchedulerControlsTest, AddFollowsTheAdministratorModeAtOnceAndTheChoicesStay) {
    ASSERT_NE(openScheduler(), nullptr);
    auto* note = control<wxStaticText>("taskButtonsNote");
    ASSERT_NE(note, nullptr);
    EXPECT_FALSE(addButton()->IsEnabled());
    EXPECT_TRUE(note->IsShownOnScreen());
    wxString said = note->GetLabel();
    said.Replace(L"\n", L" ");
    EXPECT_NE(said.Find(L"только в режиме администратора"), wxNOT_FOUND);
    test::change(control<wxChoice>("content"), 1);
    auto* devices = control<wxListCtrl>("devices");
    // "Все зоны", and with it its loudspeaker.
    devices->CheckItem(0, true);
    ASSERT_TRUE(devices->IsItemChecked(1));
    EXPECT_TRUE(screenshot("scheduler_locked"));

    questions_.passwords = {L"admin"};
    clickButton(L"Администратор");
    ASSERT_TRUE(frame_->isAdministrator());
    EXPECT_TRUE(addButton()->IsEnabled());
    EXPECT_FALSE(note->IsShown());
    clickButton(L"Администратор");
    EXPECT_FALSE(addButton()->IsEnabled());
    EXPECT_TRUE(note->IsShown());

    // Opened again, in the mode: what was chosen is still chosen, and is what the task takes.
    questions_.passwords = {L"admin"};
    clickButton(L"Администратор");
    clickButton(L"Устройства");
    ASSERT_NE(openScheduler(), nullptr);
    EXPECT_EQ(control<wxChoice>("place")->GetStringSelection(), L"Плейлист");
    EXPECT_EQ(control<wxChoice>("content")->GetStringSelection(), L"Вечер");
    EXPECT_TRUE(devices->IsItemChecked(0));
    EXPECT_TRUE(devices->IsItemChecked(1));
    ASSERT_TRUE(addButton()->IsEnabled());
    clickButton(L"Добавить");
    ASSERT_TRUE(pumpUntil([&] { return panel_->getCore().getTasks().size() == 1; }));
    const auto tasks = panel_->getCore().getTasks();
    const auto record =
        std::dynamic_pointer_cast<scheduler::task::BaseTask>(tasks.begin()->second)->getClientData();
    ASSERT_TRUE(record.playback);
    EXPECT_EQ(record.playback->getName(), L"Вечер");
    EXPECT_EQ(record.playback->getTargets().size(), 1u);
}

TEST_F(SchedulerControlsTest, AnEmptySourceSaysWhyAndTheFilterTimesStandInTheirBox) {
    ASSERT_NE(openScheduler(), nullptr);
    auto* places = control<wxChoice>("place");
    test::change(places, places->FindString(L"Накопители"));
    auto* content = control<wxChoice>("content");
    EXPECT_TRUE(content->IsEmpty());
    EXPECT_FALSE(content->IsEnabled());
    auto* note = control<wxStaticText>("contentNote");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->IsShownOnScreen());
    EXPECT_EQ(note->GetLabel().Find(L"Носитель не подключён"), 0);
    EXPECT_TRUE(screenshot("scheduler_no_medium"));
    // A source with content has no such line.
    test::change(places, places->FindString(L"Плейлист"));
    EXPECT_TRUE(content->IsEnabled());
    EXPECT_FALSE(note->IsShown());

    // Every control of the box keeps off its frame, as the box stands before any task widens it.
    wxWindow* box = control<wxWindow>("filterStartMinute")->GetParent();
    for (wxWindow* child : box->GetChildren()) {
        if (!child->IsShown()) continue;
        EXPECT_LT(child->GetRect().GetRight(), box->GetClientSize().x - 3) << child->GetName();
        EXPECT_LT(child->GetRect().GetBottom(), box->GetClientSize().y - 3) << child->GetName();
    }
}

}  // namespace
