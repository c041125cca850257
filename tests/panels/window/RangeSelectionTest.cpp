// The loudspeakers selected in the main window's device list are the ones every view plays on,
// however the operator selected them: a range made with a click and a Shift-click on two
// emulated loudspeakers takes the service message's volume on both.

#include <wx/app.h>
#include <wx/uiaction.h>

#include "tests/panels/window/MessageViewFixture.h"

namespace {

class RangeSelectionTest : public test::MessageViewFixture {
protected:
    // Clicks the middle of the row with Shift held, as the operator extends a selection.
    void shiftClick(long row) {
        wxRect area;
        ASSERT_TRUE(deviceList()->GetItemRect(row, area));
        wxUIActionSimulator simulator;
        simulator.MouseMove(
            deviceList()->ClientToScreen(area.GetPosition() + wxPoint(area.width / 2, area.height / 2)));
        // The list knows the pointer is over the row before the button goes down.
        ASSERT_TRUE(handleEvents()) << "the pointer's move was never handled";
        simulator.KeyDown(WXK_SHIFT);
        simulator.MouseClick();
        simulator.KeyUp(WXK_SHIFT);
    }
};

TEST_F(RangeSelectionTest, AShiftClickRangeReachesEverySelectedLoudspeaker) {
    ASSERT_NO_FATAL_FAILURE(writeOneMessage(false, L"Распорядок", L"Обед", 700));
    openOnChosen(2);
    ASSERT_TRUE(pumpUntil([&] { return deviceState(1) == L"В сети"; }));
    shiftClick(1);
    // What the operator sees selected.
    ASSERT_TRUE(pumpUntil([&] { return deviceList()->GetSelectedItemCount() == 2; }));
    EXPECT_EQ(frame_->getTargetDevices().size(), 2u);
    // Another thread reads the choice as the window last told it.
    EXPECT_EQ(offWindow([&] { return frame_->getTargetDevices().size(); }), 2u);

    auto* panel = playOnlyMessage(wxT("Служебные сообщения"));
    ASSERT_NE(panel, nullptr);

    const auto devices = frame_->getDeviceCollection().getDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_TRUE(pumpUntil([&] { return devices[0]->volume.load() == 90 && devices[1]->volume.load() == 90; }))
        << devices[0]->volume.load() << " " << devices[1]->volume.load();
    EXPECT_FALSE(capture_.contains(L"Громкость выключена"));
    press(test::named<wxWindow>(panel, "stop"));
}

}  // namespace
