#include <gtest/gtest.h>

#include "app/ViewButtons.h"

namespace {

TEST(Views, ButtonEnabledWhenItsPanelExistsAndTheWindowIsOpen) {
    using frm::View;
    const frm::ViewSet playlists = frm::viewBit(View::playlist) | frm::viewBit(View::radio);
    const std::tuple<View, frm::ViewSet, bool, bool> cases[] = {
        {View::devices, 0, false, true},
        {View::devices, 0, true, false},
        {View::playlist, 0, false, false},
        {View::playlist, playlists, false, true},
        {View::radio, playlists, true, false},
        {View::scheduler, playlists, false, false},
        {View::drives, frm::viewBit(View::drives), false, true},
    };
    for (const auto& [view, existing, locked, enabled] : cases)
        EXPECT_EQ(frm::viewEnabled(view, existing, locked), enabled) << static_cast<unsigned>(view);
}

}  // namespace
