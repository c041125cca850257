// The plug-in probe: tries one input plug-in in a process of its own, so that a damaged plug-in
// file that crashes the loader, its own start-up code or its entry takes down only this process.
// It loads the plug-in, asks for its description and checks it as the player engine does.
// Exit status 0 when the plug-in may be loaded; otherwise the reason is on the standard output.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "audio/PluginChecks.h"

namespace {

// Leaves at once: nothing of the plug-in is unloaded or cleaned up after, which could crash too.
[[noreturn]] void leave(int status, const char* reason) {
    if (reason != nullptr) std::printf("%s\n", reason);
    std::fflush(stdout);
    ::_exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) leave(2, "usage: melvox-plugin-probe <plug-in file>");
    void* library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        leave(1, reason != nullptr ? reason : "не загружается");
    }
    const auto entry =
        reinterpret_cast<melvox_input_plugin_entry>(::dlsym(library, MELVOX_INPUT_PLUGIN_ENTRY));
    const melvox_input_plugin* api = entry != nullptr ? entry() : nullptr;
    if (const auto refusal = audio::interfaceRefusal(entry, api)) leave(1, refusal->c_str());
    // Every text the engine reads of the description.
    volatile std::size_t length = std::strlen(api->description) + std::strlen(api->extensions) +
                                  (api->schemes != nullptr ? std::strlen(api->schemes) : 0);
    static_cast<void>(length);
    leave(0, nullptr);
}
