#include "panels/SourcePanelParts.h"

#include "audio/AlarmChannel.h"
#include "foundation/Files.h"
#include "foundation/ProgramTables.h"
#include "resources/ResourceLoader.h"

namespace frm {
namespace {

// Rows of the window's image table.
constexpr int kButtonBackward = 2;
constexpr int kButtonPlay = 3;
constexpr int kButtonStop = 5;
constexpr int kButtonForward = 6;
constexpr int kButtonPlaylist = 7;

}  // namespace

void setTransportImages(const TransportButtons& buttons) {
    const std::pair<wxBitmapButton*, int> images[] = {
        {buttons.previous, kButtonBackward},  {buttons.play, kButtonPlay},
        {buttons.stop, kButtonStop},          {buttons.next, kButtonForward},
        {buttons.playlists, kButtonPlaylist},
    };
    for (const auto& [button, image] : images) {
        if (button != nullptr) button->SetBitmap(loadResource(image));
    }
}

void colourRow(wxListCtrl& list, long row, bool playing) {
    const base::RgbColour colour = playing ? kSourcePlaylistPlayingText : kSourcePlaylistOtherText;
    list.SetItemTextColour(row, wxColour(colour.red, colour.green, colour.blue));
}

std::vector<std::wstring> fillGongChoice(wxChoice& choice) {
    std::vector<std::wstring> paths = AlarmChannel::getGongList();
    paths.insert(paths.begin(), std::wstring());
    choice.Clear();
    for (const std::wstring& path : paths) choice.Append(base::getFileName(path, true));
    return paths;
}

}  // namespace frm
