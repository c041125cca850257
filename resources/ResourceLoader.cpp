#include "resources/ResourceLoader.h"

#include <wx/bmpbndl.h>

#include <string>

#include "foundation/Place.h"
#include "resources/EmbeddedResources.h"
#include "resources/ResourceTable.h"

namespace frm {

wxBitmap loadResource(int number) {
    const std::optional<ResourceInfo> info = base::findInTable(ResourceTable, number);
    if (!info || info->kind != ResourceKind::svgImage) return wxBitmap();
    const std::optional<std::string_view> data = loadResourceData(info->name);
    wxBitmap bitmap;
    if (data) bitmap = bitmapFromSvg(*data, wxSize(info->width, info->height));
    if (!bitmap.IsOk()) {
        debug::Place("frm::loadResource").error(L"Failure to load a resource %1%", std::string(info->name));
    }
    return bitmap;
}

wxBitmap bitmapFromSvg(std::string_view svg, const wxSize& size) {
    // The parser writes into the text it reads and needs it to end in a NUL.
    std::string text(svg);
    const wxBitmapBundle bundle = wxBitmapBundle::FromSVG(text.data(), size);
    return bundle.IsOk() ? bundle.GetBitmap(size) : wxBitmap();
}

}  // namespace frm
