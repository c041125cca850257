#pragma once
// The loudspeakers that the alarm channel holds. A broadcast takes its loudspeakers: each is
// switched to the alarm channel and set to the broadcast's volume, the level it had being read
// from it first, in its own scale. At the broadcast's end each is given back once: switched to
// the common channel with the level it had. A loudspeaker whose level cannot be read keeps it
// through the broadcast, so that it never ends louder than it was; one that does not answer is
// not taken. One found on the alarm channel with no record of its own may be at an earlier
// alarm's level, which is never its own: it keeps the level it has through the broadcast and gets
// back the common channel alone. A broadcast that takes over a loudspeaker from an earlier one
// keeps the level that the first read. A playback of the common channel that gives its
// loudspeakers back at its end (a service message) holds them here too, without a switch: a
// broadcast that takes one over then keeps the level it had before both. The work runs in
// parallel on a worker pool that gives every loudspeaker of a broadcast a thread of its own, so
// that one that does not answer costs only its own wait; the steps on one loudspeaker run one at
// a time, in the order asked for.
//
// A give-back that could not be carried out (the loudspeaker away at the broadcast's end) stays
// due, with the level read before the first broadcast: it is tried again once the loudspeaker is
// heard and answers, one try at a time, with a pause after each try that grows while it does not
// answer, until it is done. A broadcast or a service message that takes it meanwhile keeps that
// level; anything else that sets its level or channel meanwhile (a playlist, the operator)
// replaces what the give-back would set. Retries tell the log only: the broadcast's end told the
// operator.
//
// What is taken and not given back is kept in a journal, each loudspeaker's record stored before
// its first command, so that a program that ends in the middle gives it back at its next start, as
// the loudspeakers are heard. The notice of what a last run left stands in the journal, with the
// loudspeakers given back meanwhile, until the operator has closed the box that showed it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "audio/GiveBackJournal.h"
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

    // The pool starts with `threads` and grows up to `most`. The journal's file is `journalPath`
    // (empty keeps none), written by `journalWriter`.
    AlarmDevices(std::size_t threads, std::size_t most, const std::wstring& journalPath = std::wstring(),
                 GiveBackJournal::Writer journalWriter = GiveBackJournal::writeFile);
    ~AlarmDevices();
    AlarmDevices(const AlarmDevices&) = delete;
    AlarmDevices& operator=(const AlarmDevices&) = delete;

    // A holder that no other one is, never 0.
    Owner newOwner();
    // Makes `owner` the holder of the loudspeakers at once, so that an earlier broadcast that
    // ends now leaves them alone.
    void assign(Owner owner, const std::vector<Loudspeaker>& loudspeakers);
    // What a take or a give-back tells of its loudspeakers so far, by their names, each in one
    // list at most: the one of what went wrong first.
    struct Taken {
        // Not switched: to the alarm channel by a take, back to the common one by a give-back.
        std::vector<std::wstring> failed;
        // Switched, but refusing the volume of the take or the level of the give-back.
        std::vector<std::wstring> levelRefused;
        // Switched at the level they had, which could not be read.
        std::vector<std::wstring> unread;
        // Found on the alarm channel with no record of their own: switched at the level they had,
        // and given back the common channel alone.
        std::vector<std::wstring> found;
    };
    // Switches the loudspeakers that `owner` still holds to the alarm channel at the volume.
    // Waits until every one is done or the deadline passed; the rest go on, and those of them that
    // fail are told together, in one text, once the last is done.
    Taken take(Owner owner, const std::vector<Loudspeaker>& loudspeakers, int volume,
               Clock::time_point deadline);
    // For a playback of the common channel that runs each loudspeaker's steps on threads of its
    // own (step): makes `owner` the holder of each loudspeaker that nobody holds, at once.
    void claim(Owner owner, const std::vector<Loudspeaker>& loudspeakers);
    // What one loudspeaker's step came to.
    enum class Step { done, unread, skipped };
    // One loudspeaker's step of a playback of the common channel, in the loudspeaker's own turn,
    // so that no take or give-back of it comes between its parts. Skipped unless `owner`
    // holds the loudspeaker (with 0: unless nobody does) and `current` still says yes once its
    // turn has come. A holder first reads the level the loudspeaker has, changing nothing on it,
    // which release gives back (one whose give-back is due keeps the level read before); one whose
    // level cannot be read is left as it is (unread): a change to it could not be undone. Then
    // `change` runs. Waits for the loudspeaker's answers.
    Step step(Owner owner, const Loudspeaker& loudspeaker, const std::function<bool()>& current,
              const std::function<void()>& change);
    // Gives back every loudspeaker that `owner` still holds and waits until that is done; returns
    // those that could not be given back. Only a loudspeaker switched to the alarm channel is
    // switched back to the common one.
    Taken release(Owner owner);
    // Switches each loudspeaker that no broadcast holds on the alarm channel to the common
    // channel, and tries each due give-back again; does not wait.
    void switchToCommon(const std::vector<Loudspeaker>& loudspeakers);
    // The loudspeakers the registry holds now.
    using Registered = std::function<std::vector<Loudspeaker>()>;
    // Makes due the give-backs that an earlier run left in the journal for the loudspeakers
    // `known` (those of the device collection). The records of any other address are dropped when
    // the collection was read; when it was not (`collectionRead` false), they are kept and made
    // due once their loudspeakers come into `registered`. Tells the operator, by their names, what
    // is still owed to the loudspeakers not shown at an earlier start, and those an earlier start
    // gave back before it showed them.
    void restoreFromJournal(const std::vector<Loudspeaker>& known, bool collectionRead = true,
                            Registered registered = nullptr);
    // The operator closed a message box that showed `text`. When it is the notice of what a last
    // run left, the loudspeakers it named are marked as told, and those given back leave the
    // journal; true then. Does not wait.
    bool noticeShown(const std::wstring& text);

    // The loudspeakers that a broadcast holds now, whether switched yet or not.
    std::size_t heldCount() const;
    // The loudspeakers whose give-back is due.
    std::size_t dueCount() const { return dueCount_.load(); }

    // Names as a report tells them: one on a line.
    static std::wstring joined(const std::vector<std::wstring>& names);
    // Logs what a take tells, in one text with a list for each kind, so that the operator gets one
    // box for a broadcast's loudspeakers (their refusals of a level are logged only).
    static void tell(const Taken& taken);
    // The same of a give-back.
    static void tellGivenBack(const Taken& taken);

private:
    struct Entry {
        // Held for the length of one step on the loudspeaker.
        std::mutex work;
        std::atomic<Owner> owner{0};
        // Under `work`: whether commands went to the loudspeaker for its owner, and the level
        // it had before (none when it could not be read: it is then not changed).
        bool touched = false;
        std::optional<device::VokarInfo::Level> savedLevel;
        // Whether it was switched to the alarm channel.
        bool switched = false;
        // Under `work`: the loudspeaker's counts of levels and channels set, read when a give-back
        // fell due (`marked`): a count that moved before the next step on it tells of a later
        // setting, which replaces what the give-back would set.
        bool marked = false;
        std::uint64_t levelMark = 0;
        std::uint64_t channelMark = 0;
        // Under `work`: tries of the due give-back in a row that the loudspeaker left unanswered.
        unsigned unanswered = 0;
        // Under `work`: what the journal holds of it.
        std::optional<GiveBackJournal::Record> journaled;
        // Under `work`: a last run left it switched without a level that reads: the level it has
        // on the alarm channel may be that run's alarm's.
        bool levelUnknown = false;
        // Under `work`: named by the notice of what a last run left, not shown yet: its record stays
        // once it is given back. `lastRun`: the record is the last run's still, no broadcast of this
        // run took it since.
        bool named = false;
        bool lastRun = false;
        // Written under `work`: a give-back is owed. It is tried again while nobody holds the
        // loudspeaker and it answers, once it was heard since the last try (its last sign of life
        // is no longer `heardAtTry`) and not before `nextTry` (monotonic clock), one try at a time.
        std::atomic<bool> due{false};
        std::atomic<std::int64_t> heardAtTry{0};
        std::atomic<std::int64_t> nextTry{0};
        std::atomic<bool> retrying{false};
    };
    // The names of the loudspeakers that failed in one take or release, and of those taken
    // without their level. Those that fail once the caller has collected them are gathered and
    // told together once the take's last step is done.
    struct FailureList {
        Taken names;
        bool collected = false;
        Taken late;
        std::size_t running = 0;
    };
    using Failures = std::shared_ptr<FailureList>;

    std::shared_ptr<Entry> entryOf(const Loudspeaker& loudspeaker);
    // The level the loudspeaker tells; none when it refuses the question or its reply does not
    // read. exception::Offline passes.
    static std::optional<device::VokarInfo::Level> readLevel(const Loudspeaker& loudspeaker);
    void takeOne(Owner owner, const Loudspeaker& loudspeaker, Entry& entry, int volume,
                 const Failures& failed);
    void releaseOne(Owner owner, const Loudspeaker& loudspeaker, Entry& entry, const Failures& failed);
    // Under entry.work: switches it back and gives it its level as far as it answers; true when
    // nothing is left to give back.
    static bool giveBack(const Loudspeaker& loudspeaker, Entry& entry);
    // Under entry.work, before a step on a loudspeaker whose give-back is due: drops what a later
    // setting replaced; a level dropped is read again by the next take.
    void dropReplaced(const Loudspeaker& loudspeaker, Entry& entry);
    // Under entry.work, after a give-back was tried: it is due or done.
    void settle(const Loudspeaker& loudspeaker, Entry& entry, bool done);
    // Under entry.work: the journal holds what the loudspeaker is owed now, or, with `switching`,
    // what it is owed once it is switched to the alarm channel.
    void journal(const Loudspeaker& loudspeaker, Entry& entry, bool switching = false);
    // Under entry.work, before a take reads the level: whether the loudspeaker is on the alarm
    // channel with no record of its own, asked of it unless known to be elsewhere; none when it
    // did not answer.
    std::optional<bool> foundOnAlarmChannel(const Loudspeaker& loudspeaker, const Entry& entry);
    // Makes due what a record of an earlier run says the loudspeaker is owed.
    void adopt(const Loudspeaker& loudspeaker, const GiveBackJournal::Record& record);
    // Under entry.work: the notice that named it was shown.
    void shown(Entry& entry);
    void retryGiveBack(const Loudspeaker& loudspeaker, Entry& entry);
    // Adopts the records kept for loudspeakers not registered at the start that are now.
    void adoptRegistered();
    // Posts a retry of each due give-back whose loudspeaker nobody holds and was heard since its
    // last try (or of every one, when `heardOrNot`).
    void retryDue(bool heardOrNot);
    void watchDue();
    void note(const Failures& failed, std::vector<std::wstring> Taken::*list, const Loudspeaker& loudspeaker);
    Taken collect(const Failures& failed);
    // A step of a take ended: the late failures are told once the last one has.
    void stepDone(const Failures& failed);

    GiveBackJournal journal_;

    std::atomic<Owner> lastOwner_{0};
    mutable std::mutex lock_;
    std::map<Loudspeaker, std::shared_ptr<Entry>> entries_;
    std::mutex failuresLock_;
    std::atomic<std::size_t> dueCount_{0};
    // The records of an earlier run whose loudspeakers were not registered at the start, while the
    // device collection could not be read, and where to look for them.
    std::mutex unmatchedLock_;
    std::map<GiveBackJournal::Key, GiveBackJournal::Record> unmatched_;
    Registered registered_;
    std::atomic<std::size_t> unmatchedCount_{0};
    // The notice of what a last run left while it is not shown: its first words, and the addresses
    // it named.
    std::mutex noticeLock_;
    std::wstring notice_;
    std::set<GiveBackJournal::Key> noticed_;
    // The watcher of the due give-backs.
    std::mutex watchLock_;
    std::condition_variable watchWake_;
    bool ending_ = false;
    std::thread watcher_;
    audio::WorkerPool pool_;
};

}  // namespace frm
