#pragma once
// What the player engine checks of an input plug-in before it loads one, shared with the
// plug-in probe (the helper program that tries a plug-in in a process of its own). Refusals are
// UTF-8 texts for the log.

#include <optional>
#include <string>

#include "audio/InputPlugin.h"

namespace audio {

// Refused unless the file is a regular file and a shared object of this machine whose headers,
// segments and sections all lie within it: the loader maps what the headers name, and a part past
// the end of the file brings the process down when it is touched.
std::optional<std::string> elfLayoutRefusal(const std::string& path);

// Refused when the plug-in has no entry function, or its description is not one of this
// interface's version or misses an operation.
std::optional<std::string> interfaceRefusal(melvox_input_plugin_entry entry, const melvox_input_plugin* api);

}  // namespace audio
