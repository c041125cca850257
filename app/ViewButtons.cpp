#include "app/ViewButtons.h"

namespace frm {

bool viewEnabled(View view, ViewSet existing, bool locked) {
    if (locked) return false;
    return view == View::devices || (existing & viewBit(view)) != 0;
}

}  // namespace frm
