#include "resources/ResourceTable.h"

namespace frm {

constexpr std::array<base::TableRow<int, ResourceInfo>, 26> ResourceTable = {{
    {0, {"speaker_head", ResourceKind::iconGroup, 32, 32}},
    {1, {"korva_logo", ResourceKind::svgImage, 42, 114}},
    {2, {"button_backward", ResourceKind::svgImage, 24, 24}},
    {3, {"button_play", ResourceKind::svgImage, 24, 24}},
    {4, {"button_pause", ResourceKind::svgImage, 24, 24}},
    {5, {"button_stop", ResourceKind::svgImage, 24, 24}},
    {6, {"button_forward", ResourceKind::svgImage, 24, 24}},
    {7, {"button_playlist", ResourceKind::svgImage, 24, 24}},
    {8, {"button_volume_on", ResourceKind::svgImage, 16, 16}},
    {9, {"button_volume_off", ResourceKind::svgImage, 16, 16}},
    {10, {"speaker_offline", ResourceKind::svgImage, 48, 48}},
    {11, {"speaker_normal", ResourceKind::svgImage, 48, 48}},
    {12, {"speaker_normal_play", ResourceKind::svgImage, 48, 48}},
    {13, {"speaker_incoming", ResourceKind::svgImage, 48, 48}},
    {14, {"speaker_incoming_play", ResourceKind::svgImage, 48, 48}},
    {15, {"speaker_error", ResourceKind::svgImage, 48, 48}},
    {16, {"speaker_error_play", ResourceKind::svgImage, 48, 48}},
    {17, {"speaker_alarm", ResourceKind::svgImage, 48, 48}},
    {18, {"speaker_alarm_play", ResourceKind::svgImage, 48, 48}},
    {19, {"microphone_offline", ResourceKind::svgImage, 48, 48}},
    {20, {"microphone_normal", ResourceKind::svgImage, 48, 48}},
    {21, {"microphone_incoming", ResourceKind::svgImage, 48, 48}},
    {22, {"microphone_error", ResourceKind::svgImage, 48, 48}},
    {23, {"microphone_alarm", ResourceKind::svgImage, 48, 48}},
    {24, {"drive_optical", ResourceKind::svgImage, 32, 32}},
    {25, {"drive_removable", ResourceKind::svgImage, 32, 32}},
}};

}  // namespace frm
