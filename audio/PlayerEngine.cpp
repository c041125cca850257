#include "audio/PlayerEngine.h"

#include <boost/algorithm/string/predicate.hpp>

#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "foundation/DataFolders.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"

namespace {

using audio::PcmQueue;
constexpr auto kDrainLimit = std::chrono::seconds(2);

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return boost::algorithm::istarts_with(text, prefix);
}

}  // namespace

// Shared with the dispatcher items that carry events, which may outlive the engine.
struct PlayerEngine::Notifier {
    std::mutex lock;
    // Held while the handler runs, so that replacing the handler waits for a call in progress.
    std::mutex calling;
    EventHandler handler;
    // Moves on with every play and stop, so that an event of an item that no longer plays is
    // dropped.
    std::uint64_t serial = 0;
    bool ended = false;
};

PlayerEngine::SourceKind PlayerEngine::kindOf(const std::wstring& path) {
    if (startsWith(path, L"sine://")) return SourceKind::sine;
    if (startsWith(path, L"adev://") || startsWith(path, L"line://")) return SourceKind::capture;
    return path.empty() ? SourceKind::none : SourceKind::plugin;
}

PlayerEngine::PlayerEngine(const std::wstring& pluginFolder, mp3stream* stream)
    : stream_(stream), notifier_(std::make_shared<Notifier>()) {
    output_.context = this;
    output_.open = [](void*, int rate, int channels, int bits) {
        return rate == MELVOX_PCM_RATE && channels == MELVOX_PCM_CHANNELS && bits == MELVOX_PCM_BITS ? 0 : -1;
    };
    output_.write = [](void* context, const void* pcm, int bytes) {
        auto* self = static_cast<PlayerEngine*>(context);
        if (bytes < 0) return -1;
        return self->stream_->queue().write(pcm, static_cast<std::size_t>(bytes)) ? 0 : -1;
    };
    plugins_ = std::make_unique<audio::PluginHost>(pluginFolder, &output_, [this](int event) {
        report(event == MELVOX_EVENT_ENDED ? Event::ended : Event::failed);
    });
    keepAlive_ = std::make_unique<audio::KeepAlive>(
        [this] {
            return pref::getBool(setting::multicastCommonStreamActive) && !mp3stream_is_running(stream_);
        },
        [] {
            return audio::streamTargetFromSettings(audio::kCommonStreamOffset,
                                                   setting::multicastCommonStreamBitrate);
        });
}

PlayerEngine::~PlayerEngine() {
    keepAlive_->stop();
    stop();
    plugins_.reset();
}

void PlayerEngine::setEventHandler(EventHandler handler) {
    std::lock_guard<std::mutex> calling(notifier_->calling);
    std::lock_guard<std::mutex> guard(notifier_->lock);
    notifier_->handler = std::move(handler);
}

void PlayerEngine::report(Event event) {
    std::uint64_t serial = 0;
    {
        std::lock_guard<std::mutex> guard(notifier_->lock);
        serial = notifier_->serial;
    }
    std::weak_ptr<Notifier> weak = notifier_;
    base::ThreadDispatcher::add(L"player engine event", 0, [weak, serial, event] {
        const auto notifier = weak.lock();
        if (!notifier) return;
        std::lock_guard<std::mutex> calling(notifier->calling);
        EventHandler handler;
        {
            std::lock_guard<std::mutex> guard(notifier->lock);
            if (notifier->serial != serial) return;
            // The item is over either way; its samples may still wait in the queue.
            notifier->ended = true;
            handler = notifier->handler;
        }
        if (handler) handler(event);
    });
}

bool PlayerEngine::play(const std::wstring& path) {
    const debug::Place place("PlayerEngine::play");
    std::lock_guard<std::mutex> guard(lock_);
    stopSource();
    if (!pref::getBool(setting::multicastCommonStreamActive)) {
        place.info(L"The common stream is off; '%1%' is not played", path);
        return false;
    }
    if (!mp3stream_start(stream_)) return false;
    {
        std::lock_guard<std::mutex> notifierGuard(notifier_->lock);
        ++notifier_->serial;
        notifier_->ended = false;
    }
    stream_->queue().setAccepting(true);
    const SourceKind kind = kindOf(path);
    bool started = false;
    if (kind == SourceKind::sine) {
        const double hertz = audio::sineFrequencyOf(path);
        if (hertz > 0) {
            sine_.start(stream_->queue(), hertz);
            started = true;
        } else {
            place.warn(L"Некорректная частота '%1%'", path);
        }
    } else if (kind == SourceKind::capture) {
        started = startCapture(path.substr(7));
    } else if (const audio::PluginHost::Plugin* plugin = plugins_->find(path)) {
        started = plugin->api->play(base::toUtf8(path).c_str()) == 0;
        if (started)
            plugin_ = plugin;
        else
            place.warn(L"Не удалось воспроизвести '%1%'", path);
    } else {
        place.warn(L"Нет модуля для воспроизведения '%1%'", path);
    }
    if (!started) {
        stream_->queue().setAccepting(false);
        if (pref::getBool(setting::multicastZeroPing)) mp3stream_stop(stream_);
        return false;
    }
    kind_ = kind;
    place.info(L"Playing '%1%'", path);
    return true;
}

bool PlayerEngine::startCapture(const std::wstring& source) {
    PcmQueue& queue = stream_->queue();
    return capture_.start(
        source, [&queue](const void* pcm, std::size_t bytes) { return queue.write(pcm, bytes); },
        [this] { report(Event::failed); });
}

void PlayerEngine::stopSource() {
    bool ended = false;
    {
        std::lock_guard<std::mutex> guard(notifier_->lock);
        ++notifier_->serial;
        ended = notifier_->ended;
    }
    if (kind_ == SourceKind::none) return;
    // Writers waiting for room let go first, then their threads can end.
    stream_->queue().setAccepting(false);
    if (kind_ == SourceKind::sine) sine_.stop();
    if (kind_ == SourceKind::capture) capture_.stop();
    if (kind_ == SourceKind::plugin && plugin_ != nullptr) plugin_->api->stop();
    // An item that ended by itself keeps its last samples in the queue; the next item follows them.
    if (!ended) stream_->queue().clear();
    kind_ = SourceKind::none;
    plugin_ = nullptr;
}

void PlayerEngine::stop() {
    std::lock_guard<std::mutex> guard(lock_);
    const bool wasPlaying = kind_ != SourceKind::none;
    bool ended = false;
    {
        std::lock_guard<std::mutex> notifierGuard(notifier_->lock);
        ended = notifier_->ended;
    }
    stopSource();
    if (wasPlaying && pref::getBool(setting::multicastZeroPing) && mp3stream_is_running(stream_)) {
        if (ended) stream_->sender().drain(std::chrono::steady_clock::now() + kDrainLimit);
        mp3stream_stop(stream_);
    }
}

bool PlayerEngine::isPlaying() const {
    std::lock_guard<std::mutex> guard(lock_);
    return kind_ != SourceKind::none;
}

void PlayerEngine::pause(bool paused) {
    std::lock_guard<std::mutex> guard(lock_);
    if (kind_ == SourceKind::plugin && plugin_ != nullptr) plugin_->api->pause(paused ? 1 : 0);
}

int PlayerEngine::getLength() {
    std::lock_guard<std::mutex> guard(lock_);
    return kind_ == SourceKind::plugin && plugin_ != nullptr ? plugin_->api->get_length() : -1;
}

int PlayerEngine::getPosition() {
    std::lock_guard<std::mutex> guard(lock_);
    return kind_ == SourceKind::plugin && plugin_ != nullptr ? plugin_->api->get_position() : -1;
}

std::wstring PlayerEngine::getFileFilter(bool plain) {
    base::SingletonSlot<PlayerEngine>::Use engine(instanceSlot());
    return engine ? engine->plugins().fileFilter(plain) : std::wstring();
}

base::SingletonSlot<PlayerEngine>& PlayerEngine::instanceSlot() {
    static base::SingletonSlot<PlayerEngine> slot;
    return slot;
}

PlayerEngine* player_engine_init(const std::wstring& pluginFolder, mp3stream* stream) {
    debug::Place("player_engine_init").trace(L"");
    auto* engine = new PlayerEngine(pluginFolder, stream);
    PlayerEngine::instanceSlot().install(engine);
    return engine;
}

void player_engine_free(PlayerEngine* engine) {
    debug::Place("player_engine_free").trace(L"");
    if (engine == nullptr) return;
    if (PlayerEngine::instanceSlot().peek() == engine) PlayerEngine::instanceSlot().release();
    delete engine;
}

bool player_engine_play(PlayerEngine* engine, const std::wstring& path) {
    return engine != nullptr && engine->play(path);
}

void player_engine_stop(PlayerEngine* engine) {
    if (engine != nullptr) engine->stop();
}

std::wstring player_engine_plugin_folder() {
    return os::joinPath(os::getApplicationDirectory(), L"@plugins");
}
