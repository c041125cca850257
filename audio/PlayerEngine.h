#pragma once
// The player engine: plays one item at a time into the common streamer. Files and internet
// streams go to the input plug-in chosen by the URL scheme or the file extension; the engine
// itself plays "sine://<hertz>" (the test tone), "adev://<capture device>" and "line://" (the
// default capture source, or the one named after the scheme). While the common stream is idle it
// sends the keep-alive datagram. A plain handle with functions over it (player_engine_*).

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/InputPlugin.h"
#include "audio/KeepAlive.h"
#include "audio/PluginHost.h"
#include "audio/PulseCapture.h"
#include "audio/SineGenerator.h"
#include "foundation/SingletonSlot.h"

class mp3stream;

class PlayerEngine {
public:
    enum class Event { ended, failed };
    // Runs on the thread dispatcher's executor, only for the item that plays now.
    using EventHandler = std::function<void(Event event)>;

    enum class SourceKind { none, sine, capture, plugin };
    // Which source plays a path (for the engine and its tests).
    static SourceKind kindOf(const std::wstring& path);

    PlayerEngine(const std::wstring& pluginFolder, mp3stream* stream);
    ~PlayerEngine();
    PlayerEngine(const PlayerEngine&) = delete;
    PlayerEngine& operator=(const PlayerEngine&) = delete;

    // Waits for a call of the former handler that is in progress.
    void setEventHandler(EventHandler handler);
    // Stops what plays and starts the item; false (logged) when it cannot start.
    bool play(const std::wstring& path);
    void stop();
    bool isPlaying() const;
    void pause(bool paused);
    // Milliseconds of the plug-in's item; -1 when unknown or not a plug-in's item.
    int getLength();
    int getPosition();

    const audio::PluginHost& plugins() const { return *plugins_; }

    // The file filter of the loaded plug-ins (see PluginHost::fileFilter) of the process-wide
    // engine; empty without one.
    static std::wstring getFileFilter(bool plain);
    static base::SingletonSlot<PlayerEngine>& instanceSlot();

private:
    struct Notifier;

    // Stops the source; the stream goes on. Caller holds lock_.
    void stopSource();
    void report(Event event);
    bool startCapture(const std::wstring& source);

    mp3stream* const stream_;
    melvox_output_module output_{};
    const std::shared_ptr<Notifier> notifier_;
    std::unique_ptr<audio::PluginHost> plugins_;
    mutable std::mutex lock_;
    SourceKind kind_ = SourceKind::none;
    const audio::PluginHost::Plugin* plugin_ = nullptr;
    audio::SineGenerator sine_;
    audio::PulseCapture capture_;
    std::unique_ptr<audio::KeepAlive> keepAlive_;
};

// Loads the plug-ins of the folder, starts the keep-alive and installs the engine as the
// process-wide one.
PlayerEngine* player_engine_init(const std::wstring& pluginFolder, mp3stream* stream);
// Stops it, takes it out of the process-wide slot, unloads the plug-ins and deletes it.
void player_engine_free(PlayerEngine* engine);
bool player_engine_play(PlayerEngine* engine, const std::wstring& path);
void player_engine_stop(PlayerEngine* engine);
// The "@plugins" folder beside the program.
std::wstring player_engine_plugin_folder();
