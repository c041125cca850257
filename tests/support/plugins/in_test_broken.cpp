// Input plug-ins that the engine must refuse: built without the entry function, with an entry
// that reports another interface version, with start-up code that faults as soon as the loader
// runs it (as damaged code does), or with a whole interface whose `init` faults or never returns.

#include <unistd.h>

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
#elif defined(MELVOX_CRASH_IN_INIT) || defined(MELVOX_HANG_IN_INIT)
namespace {
int init(const melvox_input_host*) {
#ifdef MELVOX_CRASH_IN_INIT
    *static_cast<volatile int*>(nullptr) = 1;
#else
    for (;;) ::pause();
#endif
    return 0;
}
void quit() {}
int play(const char*) {
    return -1;
}
void stop() {}
void pause(int) {}
int unknown() {
    return -1;
}
const melvox_input_plugin broken = {
    MELVOX_INPUT_PLUGIN_VERSION, "broken", "mp3", "", init, quit, play, stop, pause, unknown, unknown};
}  // namespace
extern "C" __attribute__((visibility("default"))) const melvox_input_plugin* melvox_input_plugin() {
    return &broken;
}
#else
extern "C" __attribute__((visibility("default"))) int melvox_something_else() {
    return 0;
}
#endif
