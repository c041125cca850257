#pragma once
// The one player of the common stream: it plays the items of its current playlist through the
// player engine, one after another, and tells the playlist when it starts, stops or fails one.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "audio/Playlist.h"
#include "foundation/SingletonSlot.h"

class PlayerEngine;

class Player {
public:
    // The engine outlives the player.
    explicit Player(PlayerEngine* engine);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Makes the playlist current and plays its current item; a null playlist fails the check.
    bool play(const std::shared_ptr<Playlist>& playlist);
    // Plays the item at the position of the current playlist; out of range plays nothing.
    bool play(int position);
    // Plays the current item of the current playlist.
    bool play();
    bool next();
    bool previous();
    // Callable from any thread. With notify, the playlist's stop notification follows.
    void stop(bool notify);
    void reset();
    void setPlaylist(const std::shared_ptr<Playlist>& playlist);
    std::shared_ptr<Playlist> getPlaylist() const;
    // Counts the playlists made current (also the same one again): what a start began plays on
    // while the count stays as the start left it.
    std::uint64_t getSession() const { return session_.load(); }

    // 1 while the engine plays an item, 0 after a stop or a failed start.
    int getPlayingState() const { return playing_.load(); }
    bool isPlaying() const { return playing_.load() == 1; }
    // Set by the main window's shutdown: from then on stop does nothing.
    void setClosing() { closing_.store(true); }

    static base::SingletonSlot<Player>& instanceSlot();

private:
    void stopLocked(bool notify);

    PlayerEngine* const engine_;
    mutable std::recursive_mutex lock_;
    std::shared_ptr<Playlist> playlist_;
    std::atomic<int> playing_{0};
    std::atomic<bool> closing_{false};
    std::atomic<std::uint64_t> session_{0};
};
