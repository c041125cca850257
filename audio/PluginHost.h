#pragma once
// The input plug-ins of the player engine: the "in_*.so" files of the plug-in folder, loaded
// at start with the host's services and their own sections of "plugins.ini", and chosen for a
// path by its URL scheme or its file extension.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/InputPlugin.h"

namespace audio {

class PluginHost {
public:
    // An event of the playing item, from a plug-in thread.
    using EventHandler = std::function<void(int event)>;

    struct Plugin {
        std::string file;  // "in_vlc.so"
        void* library = nullptr;
        const melvox_input_plugin* api = nullptr;
        std::vector<std::string> extensions;  // lower case, no dots
        std::vector<std::string> schemes;     // lower case
        std::map<std::string, std::string> settings;
        melvox_input_host host{};
        PluginHost* owner = nullptr;
    };

    // Loads every "in_*.so" of the folder in name order; one that does not load is skipped with
    // a warning naming it. Before this process maps a file, its layout is checked (a file that is
    // not a regular one is refused there) and it is loaded, started and ended once by the plug-in
    // probe beside the program, so that a damaged file that would crash the loader, or a plug-in
    // whose `init` crashes or never returns, is skipped the same way. `output` must outlive the host.
    PluginHost(const std::wstring& folder, const melvox_output_module* output, EventHandler handler);
    // Starts the probe's trial load of every "in_*.so" of the folder now, in the background, a few
    // at a time: the next host made on the folder takes their verdicts instead of waiting for
    // trials of its own.
    static void startTrials(const std::wstring& folder);
    // Starts the trials and then the whole load of the folder's plug-ins (their checks, mapping
    // and start) on a thread of their own: the next host made on the folder takes them as loaded.
    // The program starts it before its network probes and its window, which take longer.
    // A plug-in's `init` thus runs on that thread; its other calls come from the host's users.
    static void startLoading(const std::wstring& folder);
    // Unloads the plug-ins loaded ahead that no host took (a start that ended early); nothing
    // when there are none.
    static void dropLoaded();
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // The plug-in that plays the path or URL; null when none does.
    const Plugin* find(const std::wstring& location) const;
    const std::vector<std::unique_ptr<Plugin>>& plugins() const { return plugins_; }

    // With plain, "*.mp3;*.wav"; otherwise the file dialog's wildcard: all supported formats, one
    // entry per plug-in, then all files.
    std::wstring fileFilter(bool plain) const;

    // The sections of "plugins.ini": [in_name.so], then key=value lines.
    static std::map<std::string, std::map<std::string, std::string>> parseIni(const std::string& text);

private:
    // The log lines of a load are told by whoever takes its plug-ins, on that thread: a load ahead
    // runs before the window that shows the warnings exists, and its lines keep their order.
    using LogLines = std::vector<std::function<void()>>;
    struct Loaded {
        std::vector<std::unique_ptr<Plugin>> plugins;
        LogLines lines;
    };
    // The load started ahead of the host (startLoading): one folder at a time.
    struct EarlyLoad;
    static EarlyLoad& earlyLoad();
    static Loaded loadFolder(const std::wstring& folder);
    static std::unique_ptr<Plugin> load(const std::string& path, const std::map<std::string, std::string>& settings,
                                        LogLines& lines);
    static void unload(Plugin& plugin);

    const melvox_output_module* const output_;
    const EventHandler handler_;
    std::vector<std::unique_ptr<Plugin>> plugins_;
};

}  // namespace audio
