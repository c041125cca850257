#pragma once
// Turns the window's image resources into bitmaps.

#include <wx/bitmap.h>
#include <wx/gdicmn.h>

#include <string_view>

namespace frm {

// The image of ResourceTable's row `number` at the row's size. A number the table lacks and
// the window icon give a null bitmap without a log line; a resource that is missing or
// cannot be drawn gives a null bitmap and one ERROR line.
wxBitmap loadResource(int number);

// The SVG text drawn at `size`, or a null bitmap when the text is not an SVG image.
wxBitmap bitmapFromSvg(std::string_view svg, const wxSize& size);

}  // namespace frm
