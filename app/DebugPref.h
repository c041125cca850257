#pragma once

#include <string>

#include "foundation/Log.h"

namespace app {

// The log level named by the setting debug.level; the texts are compared exactly, and
// `forceTrace3` (a command-line option) wins over the setting.
base::Log::Level levelFromSetting(const std::wstring& text, bool forceTrace3);

}  // namespace app
