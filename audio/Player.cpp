#include "audio/Player.h"

#include <algorithm>

#include "audio/PlayerEngine.h"
#include "audio/PulseCapture.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"

Player::Player(PlayerEngine* engine) : engine_(engine) {
    engine_->setEventHandler([this](PlayerEngine::Event event) {
        if (event == PlayerEngine::Event::ended) {
            next();
            return;
        }
        std::lock_guard<std::recursive_mutex> guard(lock_);
        debug::Place("Player").warn(L"Воспроизведение элемента не удалось");
        stopLocked(false);
    });
}

Player::~Player() {
    engine_->setEventHandler(nullptr);
}

base::SingletonSlot<Player>& Player::instanceSlot() {
    static base::SingletonSlot<Player> slot;
    return slot;
}

bool Player::play(const std::shared_ptr<Playlist>& playlist) {
    debug::throwIfFalse(playlist != nullptr, "Player::play");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    setPlaylist(playlist);
    return play();
}

bool Player::play(int position) {
    const debug::Place place("Player::play");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!playlist_) {
        place.warn(L"Аудио не запущено");
        return false;
    }
    if (position < 0 || !playlist_->current(static_cast<std::size_t>(position))) {
        place.warn(L"Internal error. Position %1% is outside the playlist", position);
        return false;
    }
    return play();
}

bool Player::play() {
    const debug::Place place("Player::play");
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!playlist_) {
        place.warn(L"Аудио не запущено");
        return false;
    }
    const auto item = playlist_->current(playlist_->getCurrentPosition());
    bool started = false;
    if (!item) {
        place.warn(L"Плейлист '%1%' пуст", playlist_->getName());
    } else if (PlayerEngine::kindOf(item->path) == PlayerEngine::SourceKind::capture &&
               item->path.compare(0, 7, L"adev://") == 0) {
        const std::wstring device = item->path.substr(7);
        const auto present = audio::captureSources();
        if (std::find(present.begin(), present.end(), device) == present.end()) {
            place.warn(L"Неизвестное аудио-устройство '%1%' (возможно было отключено)", device);
        } else {
            started = engine_->play(item->path);
        }
    } else {
        started = engine_->play(item->path);
    }
    if (!started) engine_->stop();
    playing_.store(started ? 1 : 0);
    playlist_->notifyPlaying(started);
    return started;
}

bool Player::next() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!playlist_) return false;
    if (!playlist_->next()) {
        // The end of a playlist without repeat.
        stopLocked(false);
        return false;
    }
    return play();
}

bool Player::previous() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!playlist_ || !playlist_->previous()) return false;
    return play();
}

void Player::stop(bool notify) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    stopLocked(notify);
}

void Player::stopLocked(bool notify) {
    if (closing_.load()) return;
    if (playing_.load() == 1) {
        engine_->stop();
        playing_.store(0);
        if (playlist_) playlist_->notifyPlaying(false);
    }
    if (notify && playlist_) playlist_->notifyStop();
}

void Player::reset() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    stopLocked(true);
    playlist_.reset();
}

void Player::setPlaylist(const std::shared_ptr<Playlist>& playlist) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    stopLocked(false);
    playlist_ = playlist;
    ++session_;
}

std::shared_ptr<Playlist> Player::getPlaylist() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return playlist_;
}
