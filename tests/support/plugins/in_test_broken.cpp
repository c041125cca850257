// Input plug-ins that the engine must refuse: built without the entry function, with an entry
// that reports another interface version, or with start-up code that faults as soon as the loader
// runs it (as damaged code does).

#include <csignal>

#include "audio/InputPlugin.h"

#ifdef MELVOX_OLD_VERSION
namespace {
const melvox_input_plugin old = {MELVOX_INPUT_PLUGIN_VERSION + 1,
                                 "old",
                                 "mp3",
                                 "",
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr};
}
extern "C" __attribute__((visibility("default"))) const melvox_input_plugin* melvox_input_plugin() {
    return &old;
}
#elif defined(MELVOX_CRASH_AT_LOAD)
namespace {
__attribute__((constructor)) void startUp() {
    std::raise(SIGSEGV);
}
}  // namespace
#else
extern "C" __attribute__((visibility("default"))) int melvox_something_else() {
    return 0;
}
#endif
