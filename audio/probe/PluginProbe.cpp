// The plug-in probe: tries one input plug-in in a process of its own, so that a damaged plug-in
// file that crashes the loader, its own start-up code or its entry, or a plug-in whose start
// crashes or never ends, takes down only this process. It loads the plug-in, asks for its
// description and checks it as the player engine does, then starts it with `init` and ends it with
// `quit` as the engine does. The host it starts the plug-in with has no settings and an output
// that takes nothing. Exit status 0 when the plug-in may be loaded; otherwise the reason is on the
// standard output.

#include <dlfcn.h>
#include <unistd.h>
#include <zlib.h>

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

int refuseFormat(void*, int, int, int) {
    return -1;
}

int refuseSamples(void*, const void*, int) {
    return -1;
}

const melvox_output_module kNoOutput = {nullptr, refuseFormat, refuseSamples};

int uncompressData(unsigned char* destination, unsigned long* destinationLength, const unsigned char* source,
                   unsigned long sourceLength) {
    return ::uncompress(destination, destinationLength, source, sourceLength);
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
    melvox_input_host host{};
    host.output = &kNoOutput;
    host.notify = [](void*, int) {};
    host.setting = [](void*, const char*) -> const char* { return nullptr; };
    host.uncompress = uncompressData;
    if (api->init(&host) != 0) leave(1, "ошибка инициализации");
    api->quit();
    leave(0, nullptr);
}
