#include "app/kit/GuiEnabler.h"

#include <wx/window.h>

namespace frm {

GuiEnabler::GuiEnabler(wxWindow* window) : window_(window) {
    if (window_ != nullptr) window_->Disable();
}

GuiEnabler::~GuiEnabler() {
    if (window_ != nullptr) window_->Enable();
}

}  // namespace frm
