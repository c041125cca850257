#pragma once
// The devices a playback goes to, and how the channels learn which devices the operator has
// selected in the main window. The window supplies the selection; this layer never reads a
// control itself.

#include <functional>
#include <memory>
#include <set>

#include "devicelink/DeviceBase.h"

namespace frm {

// Target devices, ordered by their shared pointers.
using Targets = std::set<std::shared_ptr<device::DeviceBase>>;

// The devices selected in the main window's device list together with those inside its
// selected zones. Called on the GUI thread only: from the panels' own buttons.
using SelectionProvider = std::function<Targets()>;

}  // namespace frm
