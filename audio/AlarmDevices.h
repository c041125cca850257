#pragma once
// The loudspeakers that the alarm channel holds. A broadcast takes its loudspeakers: each is
// switched to the alarm channel and set to the broadcast's volume, the volume it had being saved
// first. At the broadcast's end each is given back once: switched to the common channel with its
// saved volume. A broadcast that takes over a loudspeaker from an earlier one keeps the volume
// that the first saved. A playback of the common channel that gives its loudspeakers back at its
// end (a service message) holds them here too, without a switch: a broadcast that takes one over
// then keeps the volume it had before both. The work runs in parallel on a worker pool; the steps
// on one loudspeaker run one at a time, in the order asked for.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WorkerPool.h"
#include "devices/VokarInfo.h"

namespace frm {

class AlarmDevices {
public:
    // A broadcast; 0 is nobody.
    using Owner = std::uint64_t;
    using Loudspeaker = std::shared_ptr<device::VokarInfo>;
    using Clock = std::chrono::steady_clock;

    // The channel of the priority stream; the common stream is device::CHANNEL_DISCOVERY.
    static constexpr device::AudioChannel kAlarmChannel = 1;

    explicit AlarmDevices(std::size_t threads);

    // A holder that no other one is, never 0.
    Owner newOwner();
    // Makes `owner` the holder of the loudspeakers at once, so that an earlier broadcast that
    // ends now leaves them alone.
    void assign(Owner owner, const std::vector<Loudspeaker>& loudspeakers);
    // Switches the loudspeakers that `owner` still holds to the alarm channel at the volume.
    // Waits until every one is done or the deadline passed (the rest go on) and returns the
    // names of those that failed so far.
    std::vector<std::wstring> take(Owner owner, const std::vector<Loudspeaker>& loudspeakers, int volume,
                                   Clock::time_point deadline);
    // Makes `owner` the holder of each loudspeaker that nobody holds and saves the volume it has,
    // changing nothing on it; waits until that is done. Release gives the volumes back.
    void keep(Owner owner, const std::vector<Loudspeaker>& loudspeakers);
    // Gives back every loudspeaker that `owner` still holds and waits until that is done; returns
    // the names of those that could not be given back. Only a loudspeaker switched to the alarm
    // channel is switched back to the common one.
    std::vector<std::wstring> release(Owner owner);
    // Switches each loudspeaker that no broadcast holds on the alarm channel to the common
    // channel; does not wait.
    void switchToCommon(const std::vector<Loudspeaker>& loudspeakers);

    // The loudspeakers that a broadcast holds now, whether switched yet or not.
    std::size_t heldCount() const;

    // Names as a report tells them: "a, b, c".
    static std::wstring joined(const std::vector<std::wstring>& names);

private:
    struct Entry {
        // Held for the length of one step on the loudspeaker.
        std::mutex work;
        std::atomic<Owner> owner{0};
        // Under `work`: whether commands went to the loudspeaker for its owner, and the volume
        // it had before (device::kUnknownVolume when it could not be read).
        bool touched = false;
        std::int32_t savedVolume = device::kUnknownVolume;
        // Whether it was switched to the alarm channel.
        bool switched = false;
    };
    // The names of the loudspeakers that failed in one take or release. Once the caller has
    // collected them, a late failure is logged by itself.
    struct FailureList {
        std::vector<std::wstring> names;
        bool collected = false;
    };
    using Failures = std::shared_ptr<FailureList>;

    std::shared_ptr<Entry> entryOf(const Loudspeaker& loudspeaker);
    // Under the entry's `work`: saves the volume once for the holder.
    static void save(const Loudspeaker& loudspeaker, Entry& entry);
    void takeOne(Owner owner, const Loudspeaker& loudspeaker, Entry& entry, int volume,
                 const Failures& failed);
    void releaseOne(Owner owner, const Loudspeaker& loudspeaker, Entry& entry, const Failures& failed);
    void fail(const Failures& failed, const Loudspeaker& loudspeaker, const wchar_t* lateText);
    std::vector<std::wstring> collect(const Failures& failed);

    std::atomic<Owner> lastOwner_{0};
    mutable std::mutex lock_;
    std::map<Loudspeaker, std::shared_ptr<Entry>> entries_;
    std::mutex failuresLock_;
    audio::WorkerPool pool_;
};

}  // namespace frm
