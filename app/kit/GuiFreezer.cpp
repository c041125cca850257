#include "app/kit/GuiFreezer.h"

#include <wx/window.h>

#include "foundation/Place.h"

namespace frm {

GuiFreezer::GuiFreezer(wxWindow* window) : window_(window) {
    if (window_ == nullptr) return;
    window_->Freeze();
    frozen_ = true;
}

GuiFreezer::~GuiFreezer() {
    if (!frozen_) return;
    debug::Place("frm::GuiFreezer::~GuiFreezer").trace(L"Force to thaw");
    window_->Thaw();
}

void GuiFreezer::thaw() {
    if (!frozen_) return;
    frozen_ = false;
    window_->Thaw();
}

}  // namespace frm
