#include "app/kit/GuiLocker.h"

namespace frm {

std::recursive_mutex& GuiLocker::mutex() {
    static std::recursive_mutex lock;
    return lock;
}

}  // namespace frm
