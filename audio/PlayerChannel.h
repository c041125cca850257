#pragma once
// The common channel: a playlist played by the player on the common stream for chosen
// loudspeakers. A request is refused when no device is chosen, when the alarm channel is busy,
// when a chosen loudspeaker plays a higher-priority announcement, or when the same playlist
// already plays on the same devices; otherwise its start is queued on the thread dispatcher.
// There the player stops, the volume actions run on every online loudspeaker (the chosen ones
// get the volume, the others are muted), and the player plays the playlist. A start for the
// loudspeakers selected in the main window (a service message) first has the alarm channel's
// devices read and keep the level of every loudspeaker it reaches (one whose level cannot be
// read is left as it is), and gives each back when its playlist stops playing: at its end, by a
// stop, by another start or by another playlist of the player.
//
// Every loudspeaker's steps run on a thread of their own, in the loudspeaker's turn at the alarm
// channel's devices. The playlist waits for them no longer than a grace: one that has stopped
// answering costs only its own wait, its steps going on after the start. A step whose turn comes
// after a later start or a stop does nothing, and a give-back waits for the step that runs on its
// loudspeaker, so that nothing of an earlier start reaches a loudspeaker after what came later.
// What the steps could not do is told once all of them are done, in one text for each kind.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AlarmDevices.h"
#include "audio/IAction.h"
#include "audio/PlaybackTargets.h"
#include "audio/Playlist.h"
#include "audio/WorkerPool.h"
#include "foundation/SingletonSlot.h"

class Player;

namespace device {
class DeviceCollection;
}

namespace frm {

class AlarmChannel;

class PlayerChannel {
public:
    // The player and the alarm channel outlive the channel; the registry may be null.
    PlayerChannel(Player& player, AlarmChannel& alarm, std::shared_ptr<device::DeviceCollection> registry);
    // Waits for a start or stop that runs; those still queued then do nothing.
    ~PlayerChannel();
    PlayerChannel(const PlayerChannel&) = delete;
    PlayerChannel& operator=(const PlayerChannel&) = delete;

    void setSelectionProvider(SelectionProvider provider);

    // Queues the start; false (logged) when refused. A volume below 0 leaves the chosen
    // loudspeakers at their own volume and only turns on those that were muted. An accepted
    // start gets a number of its own in `startId`, for stopStarted.
    bool play(const std::shared_ptr<Playlist>& playlist, int volume, const Targets& targets,
              std::uint64_t* startId = nullptr);
    // For the devices selected in the main window (read on the calling thread, the GUI thread);
    // every loudspeaker the start changes gets its volume back when the playlist stops playing.
    // The channel takes the playlist's playing callback.
    bool playForSelected(const std::shared_ptr<Playlist>& playlist, int volume);
    // Queues the stop and returns.
    void stop();
    // Gives back now the loudspeakers of a start for the selected devices and waits (for the
    // shutdown, while the transport still runs).
    void giveVolumesBack();
    // Queues the stop of what the start `startId` began: the player stops only while it still
    // plays that, not after another start, a playlist started by hand or the playlist's end.
    void stopStarted(std::uint64_t startId);

    bool isPlaying() const;
    bool isStartPending() const;
    // The volume actions of the last start: the chosen loudspeakers' first, then the mute.
    std::vector<std::shared_ptr<IAction>> getLastActions() const;

    static base::SingletonSlot<PlayerChannel>& instanceSlot();

private:
    // Lets queued work find out that the channel is gone, and the channel wait for work that runs.
    // The starts and stops run in the order queued, one at a time: the dispatcher may run two items
    // at once, and a stop must never end what a start queued after it plays.
    struct Gate {
        std::mutex lock;
        std::condition_variable idle;
        bool closed = false;
        int running = 0;
        // The number the next item queued gets, and that of the item whose turn it is.
        std::uint64_t queued = 0;
        std::uint64_t serving = 0;
        std::condition_variable turn;
    };

    using Loudspeakers = std::vector<std::shared_ptr<device::VokarInfo>>;

    // The refusal of the alarm channel's side, or none.
    bool alarmRefuses(const Targets& targets) const;
    bool request(const std::shared_ptr<Playlist>& playlist, int volume, const Targets& targets,
                 std::uint64_t* startId, bool givesBack);
    // Runs `work` unless the channel is gone by then.
    static void enter(const std::shared_ptr<Gate>& gate, const std::function<void()>& work);
    // Runs `work` on the dispatcher, after what was queued before, unless the channel is gone by
    // then.
    void queue(const wchar_t* description, std::function<void()> work);
    void start(const std::shared_ptr<Playlist>& playlist, int volume, const Targets& targets,
               std::uint64_t startId, bool givesBack);
    // The online loudspeakers that the volume actions reach.
    Loudspeakers reachable() const;
    // Runs the volume actions of the start `turn`, for `owner` when it keeps the levels, and waits
    // until they are done or the grace has passed.
    void runVolumeActions(int volume, const Targets& targets, const Loudspeakers& loudspeakers,
                          AlarmDevices::Owner owner, std::uint64_t turn);
    // Gives back the loudspeakers that `owner`, a start, holds, and waits.
    void giveBack(AlarmDevices::Owner owner);
    // The same for the start that holds loudspeakers now, if any.
    void giveBackHeld();

    Player& player_;
    AlarmChannel& alarm_;
    const std::shared_ptr<device::DeviceCollection> registry_;
    const std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();

    mutable std::mutex lock_;
    SelectionProvider selection_;
    // The starts queued and not run yet, and the last of them.
    std::size_t pending_ = 0;
    std::shared_ptr<Playlist> pendingPlaylist_;
    Targets pendingTargets_;
    std::uint64_t lastStartId_ = 0;
    // What the last start played, and the player's session it began.
    std::shared_ptr<Playlist> playlist_;
    Targets targets_;
    std::uint64_t playingStartId_ = 0;
    std::uint64_t playingSession_ = 0;
    std::vector<std::shared_ptr<IAction>> lastActions_;
    // The start whose loudspeakers the alarm channel's devices hold; 0 for none.
    AlarmDevices::Owner heldBy_ = 0;

    // One start or stop at a time changes the loudspeakers, the give-back at the shutdown included.
    std::mutex turns_;
    // Moves on with every start and stop: a loudspeaker's step of an earlier start whose turn comes
    // later does nothing.
    std::atomic<std::uint64_t> turn_{0};

    // Last, so that it ends first: the steps still running use the members above.
    audio::WorkerPool pool_;
};

}  // namespace frm
