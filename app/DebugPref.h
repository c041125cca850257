#pragma once

#include <string>

#include "foundation/Log.h"

namespace app {

// The log level named by the setting debug.level; the texts are compared exactly, and
// `forceTrace3` (a command-line option) wins over the setting.
base::Log::Level levelFromSetting(const std::wstring& text, bool forceTrace3);

// Creates the logger at INFO in the log folder (echoed on the console with `consoleEcho`), or on
// the standard output when no file can be made there (a read-only data folder). 0 when the log goes
// to its file, else the system's error number of the log folder.
int startLog(bool consoleEcho);

// Starts the log, loads the settings file into the process-wide store and sets the log level from
// debug.level. What startLog returns.
int loadDebugPref(bool forceTrace3, bool consoleEcho = false);

}  // namespace app
