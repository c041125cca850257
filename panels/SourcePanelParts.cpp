#include "panels/SourcePanelParts.h"

#include <wx/renderer.h>

#include <algorithm>

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
// A header's margins beside its text, as the list itself measures a header
// (wxLIST_AUTOSIZE_USEHEADER).
constexpr int kHeaderMargins = 32;
// A row's margins beside its text, as the list measures a column's automatic width.
constexpr int kAutomaticWidthMargin = 10;

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

wxColour rowColour(bool playing) {
    const base::RgbColour colour = playing ? kSourcePlaylistPlayingText : kSourcePlaylistOtherText;
    return wxColour(colour.red, colour.green, colour.blue);
}

void redrawPlayingRows(wxListCtrl& list, std::optional<std::size_t> before, std::optional<std::size_t> now) {
    const auto rows = static_cast<std::size_t>(list.GetItemCount());
    for (const auto row : {before, now}) {
        if (row && *row < rows) list.RefreshItem(static_cast<long>(*row));
    }
}

int automaticWidth(wxListCtrl& list, const wxString& text) {
    // A row's check box stands in its first column, beside the text.
    const int box =
        list.HasCheckBoxes() ? wxRendererNative::Get().GetCheckBoxSize(&list).x + kAutomaticWidthMargin : 0;
    return list.GetTextExtent(text).x + kAutomaticWidthMargin + box;
}

void fitColumnHeaders(wxListCtrl& list) {
    for (int column = 0; column < list.GetColumnCount(); ++column) {
        wxListItem header;
        header.SetMask(wxLIST_MASK_TEXT);
        if (!list.GetColumn(column, header)) continue;
        const int needed = list.GetTextExtent(header.GetText()).x + kHeaderMargins;
        if (list.GetColumnWidth(column) < needed) list.SetColumnWidth(column, needed);
    }
}

std::vector<std::wstring> fillGongChoice(wxChoice& choice, bool noGongEntry) {
    std::vector<std::wstring> paths = AlarmChannel::getGongList();
    if (noGongEntry) paths.insert(paths.begin(), std::wstring());
    choice.Clear();
    for (const std::wstring& path : paths) choice.Append(base::getFileName(path, true));
    return paths;
}

int entryToChoose(const std::vector<std::wstring>& entries, const std::wstring& chosen, int fallback) {
    const auto found = std::find(entries.begin(), entries.end(), chosen);
    return found != entries.end() ? static_cast<int>(found - entries.begin()) : fallback;
}

}  // namespace frm
