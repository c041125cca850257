#pragma once

#include <string>

#include "foundation/Log.h"

namespace app {

// The log level named by the setting debug.level; the texts are compared exactly, and
// `forceTrace3` (a command-line option) wins over the setting.
base::Log::Level levelFromSetting(const std::wstring& text, bool forceTrace3);

// Creates the logger in the log folder at INFO (echoed on the console with `consoleEcho`),
// loads the settings file into the process-wide store and sets the log level from debug.level.
void loadDebugPref(bool forceTrace3, bool consoleEcho = false);

}  // namespace app
