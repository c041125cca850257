// The input plug-in that plays what libvlc decodes: audio files and http/https streams. libvlc
// decodes on its own threads and hands the samples, in the output module's format, to the
// output module. An item that gives no sample within "startTimeout" milliseconds (its section
// of "plugins.ini"; 15000 by default), or that ends without having given one, has failed.

#include <vlc/vlc.h>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "audio/InputPlugin.h"

namespace {

constexpr int kDefaultStartTimeoutMs = 15000;

struct State {
    const melvox_input_host* host = nullptr;
    libvlc_instance_t* instance = nullptr;
    libvlc_media_player_t* player = nullptr;

    std::mutex lock;
    std::condition_variable wake;
    // Moves on with every play and stop: events of an earlier item are dropped.
    unsigned long item = 0;
    bool reported = true;
    bool gotSamples = false;
    std::thread watchdog;
};

State state;

void reportOnce(unsigned long item, int event) {
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (item != state.item || state.reported) return;
        state.reported = true;
        if (event == MELVOX_EVENT_ENDED && !state.gotSamples) event = MELVOX_EVENT_FAILED;
    }
    state.wake.notify_all();
    state.host->notify(state.host->context, event);
}

void onEvent(const libvlc_event_t* event, void* data) {
    const auto item = reinterpret_cast<unsigned long>(data);
    reportOnce(item, event->type == libvlc_MediaPlayerEndReached ? MELVOX_EVENT_ENDED : MELVOX_EVENT_FAILED);
}

void onSamples(void* data, const void* samples, unsigned count, int64_t) {
    const auto item = reinterpret_cast<unsigned long>(data);
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (item != state.item) return;
        state.gotSamples = true;
    }
    state.host->output->write(state.host->output->context, samples,
                              static_cast<int>(count * MELVOX_PCM_CHANNELS * MELVOX_PCM_BITS / 8));
}

int startTimeoutMs() {
    const char* text = state.host->setting(state.host->context, "startTimeout");
    int value = kDefaultStartTimeoutMs;
    if (text != nullptr) {
        const char* end = text + std::strlen(text);
        int parsed = 0;
        const auto result = std::from_chars(text, end, parsed);
        if (result.ec == std::errc() && result.ptr == end && parsed > 0) value = parsed;
    }
    return value;
}

int init(const melvox_input_host* host) {
    state.host = host;
    const char* arguments[] = {"--no-video", "--quiet", "--no-stats", "--aout=adummy"};
    state.instance = libvlc_new(sizeof arguments / sizeof arguments[0], arguments);
    return state.instance != nullptr ? 0 : -1;
}

void stop() {
    libvlc_media_player_t* player = nullptr;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        ++state.item;
        state.reported = true;
        player = state.player;
        state.player = nullptr;
    }
    state.wake.notify_all();
    if (state.watchdog.joinable()) state.watchdog.join();
    if (player != nullptr) {
        libvlc_media_player_stop(player);
        libvlc_media_player_release(player);
    }
}

void quit() {
    stop();
    if (state.instance != nullptr) libvlc_release(state.instance);
    state.instance = nullptr;
}

int play(const char* location) {
    stop();
    if (location == nullptr || *location == '\0') return -1;
    const bool url = std::strstr(location, "://") != nullptr;
    libvlc_media_t* media = url ? libvlc_media_new_location(state.instance, location)
                                : libvlc_media_new_path(state.instance, location);
    if (media == nullptr) return -1;
    libvlc_media_player_t* player = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    if (player == nullptr) return -1;
    if (state.host->output->open(state.host->output->context, MELVOX_PCM_RATE, MELVOX_PCM_CHANNELS,
                                 MELVOX_PCM_BITS) != 0) {
        libvlc_media_player_release(player);
        return -1;
    }
    unsigned long item = 0;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        item = ++state.item;
        state.reported = false;
        state.gotSamples = false;
        state.player = player;
    }
    void* tag = reinterpret_cast<void*>(item);
    libvlc_audio_set_format(player, "S16N", MELVOX_PCM_RATE, MELVOX_PCM_CHANNELS);
    libvlc_audio_set_callbacks(player, onSamples, nullptr, nullptr, nullptr, nullptr, tag);
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(player);
    libvlc_event_attach(events, libvlc_MediaPlayerEndReached, onEvent, tag);
    libvlc_event_attach(events, libvlc_MediaPlayerEncounteredError, onEvent, tag);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeoutMs());
    state.watchdog = std::thread([item, deadline] {
        std::unique_lock<std::mutex> guard(state.lock);
        const bool settled = state.wake.wait_until(
            guard, deadline, [item] { return item != state.item || state.reported || state.gotSamples; });
        guard.unlock();
        if (!settled) reportOnce(item, MELVOX_EVENT_FAILED);
    });
    if (libvlc_media_player_play(player) != 0) {
        stop();
        return -1;
    }
    return 0;
}

void pause(int paused) {
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.player != nullptr) libvlc_media_player_set_pause(state.player, paused);
}

int lengthMs() {
    std::lock_guard<std::mutex> guard(state.lock);
    return state.player != nullptr ? static_cast<int>(libvlc_media_player_get_length(state.player)) : -1;
}

int positionMs() {
    std::lock_guard<std::mutex> guard(state.lock);
    return state.player != nullptr ? static_cast<int>(libvlc_media_player_get_time(state.player)) : -1;
}

const melvox_input_plugin plugin = {
    MELVOX_INPUT_PLUGIN_VERSION,
    "Audio files (libvlc)",
    "mp3;mp2;wav;ogg;oga;opus;flac;aac;m4a;wma",
    "http;https",
    init,
    quit,
    play,
    stop,
    pause,
    lengthMs,
    positionMs,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const melvox_input_plugin* melvox_input_plugin() {
    return &plugin;
}
