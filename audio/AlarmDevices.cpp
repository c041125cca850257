#include "audio/AlarmDevices.h"

#include <pthread.h>

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

// How often the due give-backs look whether their loudspeakers were heard, while any is due.
constexpr auto kDueLook = std::chrono::milliseconds(200);
// A loudspeaker that answered but refused its give-back is asked again once heard this long
// after (device clock, microseconds), not at each of its status packets.
constexpr std::int64_t kRefusedPauseUs = 30'000'000;
// After a try that a loudspeaker left unanswered the next waits this long, twice as long after
// each further one, up to the longest pause.
constexpr std::int64_t kFirstUnansweredPauseUs = 2'000'000;
constexpr std::int64_t kLongestUnansweredPauseUs = 240'000'000;

std::wstring nameOf(const AlarmDevices::Loudspeaker& loudspeaker) {
    return loudspeaker->getDisplayName();
}

// A title over each list of names that is not empty, the lists parted by an empty line.
std::wstring listed(
    std::initializer_list<std::pair<const wchar_t*, const std::vector<std::wstring>*>> lists) {
    std::wstring text;
    for (const auto& [title, names] : lists) {
        if (names->empty()) continue;
        text += (text.empty() ? L"" : L"\n\n") + std::wstring(title) + L"\n" + AlarmDevices::joined(*names);
    }
    return text;
}

// The first words of the notice of what a last run left, by which its box is known.
constexpr const wchar_t* kLeftNotice =
    L"Программа завершилась во время оповещения, не вернув громкоговорители";

std::int64_t unansweredPause(unsigned unanswered) {
    std::int64_t pause = kFirstUnansweredPauseUs;
    for (unsigned n = 1; n < unanswered && pause < kLongestUnansweredPauseUs; ++n) pause *= 2;
    return std::min(pause, kLongestUnansweredPauseUs);
}

bool sameRecord(const GiveBackJournal::Record& a, const GiveBackJournal::Record& b) {
    if (a.switched != b.switched || a.told != b.told || a.level.has_value() != b.level.has_value())
        return false;
    return !a.level || (a.level->sameAs(*b.level) && a.level->percent == b.level->percent);
}

}  // namespace

AlarmDevices::AlarmDevices(std::size_t threads, std::size_t most, const std::wstring& journalPath,
                           GiveBackJournal::Writer journalWriter)
    : journal_(journalPath, std::move(journalWriter)), pool_("alarm devices", threads, most) {
    watcher_ = std::thread([this] { watchDue(); });
}

AlarmDevices::~AlarmDevices() {
    {
        std::lock_guard<std::mutex> guard(watchLock_);
        ending_ = true;
    }
    watchWake_.notify_all();
    watcher_.join();
}

std::shared_ptr<AlarmDevices::Entry> AlarmDevices::entryOf(const Loudspeaker& loudspeaker) {
    std::lock_guard<std::mutex> guard(lock_);
    std::shared_ptr<Entry>& entry = entries_[loudspeaker];
    if (!entry) entry = std::make_shared<Entry>();
    return entry;
}

AlarmDevices::Owner AlarmDevices::newOwner() {
    return ++lastOwner_;
}

std::optional<device::VokarInfo::Level> AlarmDevices::readLevel(const Loudspeaker& loudspeaker) {
    try {
        return loudspeaker->readLevel();
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        debug::Place("frm::AlarmDevices::readLevel")
            .debug(L"The level of '%1%' is not read: %2%", nameOf(loudspeaker), exception::textOf(error));
    }
    return std::nullopt;
}

void AlarmDevices::assign(Owner owner, const std::vector<Loudspeaker>& loudspeakers) {
    for (const Loudspeaker& loudspeaker : loudspeakers) entryOf(loudspeaker)->owner.store(owner);
}

AlarmDevices::Taken AlarmDevices::take(Owner owner, const std::vector<Loudspeaker>& loudspeakers, int volume,
                                       Clock::time_point deadline) {
    auto failed = std::make_shared<FailureList>();
    failed->running = loudspeakers.size();
    std::vector<audio::WorkerPool::Job> jobs;
    for (const Loudspeaker& loudspeaker : loudspeakers) {
        jobs.push_back([this, owner, loudspeaker, entry = entryOf(loudspeaker), volume, failed] {
            struct Done {
                AlarmDevices& devices;
                const Failures& failed;
                ~Done() { devices.stepDone(failed); }
            } done{*this, failed};
            takeOne(owner, loudspeaker, *entry, volume, failed);
        });
    }
    pool_.runAll(std::move(jobs), deadline);
    return collect(failed);
}

void AlarmDevices::takeOne(Owner owner, const Loudspeaker& loudspeaker, Entry& entry, int volume,
                           const Failures& failed) {
    const debug::Place place("frm::AlarmDevices::take");
    std::lock_guard<std::mutex> guard(entry.work);
    if (entry.owner.load() != owner) return;
    entry.lastRun = false;
    dropReplaced(loudspeaker, entry);
    bool switched = false;
    bool atVolume = false;
    bool unread = false;
    bool found = false;
    try {
        if (!entry.touched) {
            const std::optional<bool> onAlarmChannel = foundOnAlarmChannel(loudspeaker, entry);
            if (onAlarmChannel.value_or(false)) {
                // Its level may be an earlier alarm's: kept, and not recorded as its own.
                found = true;
                entry.levelUnknown = true;
                entry.savedLevel.reset();
            } else if (!onAlarmChannel) {
                // It did not answer for its channel: not asked again for its level, which it
                // keeps.
                entry.savedLevel.reset();
                entry.levelUnknown = false;
                unread = true;
            } else {
                // Asked of the loudspeaker even when a volume is known: the percentages stop at
                // the quietest audible level, and the program may not know the level of a
                // loudspeaker it sees as not answering, though it answers now. One that does not
                // answer is left alone. A loudspeaker whose give-back is due keeps the level read
                // before.
                entry.savedLevel = readLevel(loudspeaker);
                entry.levelUnknown = false;
                unread = !entry.savedLevel;
            }
            entry.touched = true;
        }
        // Recorded before anything changes on the loudspeaker; written beside the commands.
        journal(loudspeaker, entry, true);
        // The channel first: the first moment of the gong at the old volume is better than the
        // common stream at the alarm's.
        entry.switched = true;
        switched = loudspeaker->switchChannel(kAlarmChannel, true);
        // A loudspeaker that defers the switch until its own playback ends still gets the volume.
        // One whose level is not known keeps it: raised, it could not be given back.
        atVolume = !entry.savedLevel || loudspeaker->setVolume(volume, device::VokarInfo::Report::logOnly);
    } catch (const std::exception& error) {
        place.debug(L"Failed to take '%1%': %2%", nameOf(loudspeaker), exception::textOf(error));
    }
    if (!atVolume && entry.savedLevel && loudspeaker->responding.load()) {
        // Refused, so never changed: nothing of its level is owed. A later take reads it again.
        entry.savedLevel.reset();
        entry.touched = false;
        journal(loudspeaker, entry);
    }
    if (!switched) {
        note(failed, &Taken::failed, loudspeaker);
    } else if (found) {
        note(failed, &Taken::found, loudspeaker);
    } else if (unread) {
        note(failed, &Taken::unread, loudspeaker);
    } else if (!atVolume) {
        note(failed, &Taken::levelRefused, loudspeaker);
    }
}

std::optional<bool> AlarmDevices::foundOnAlarmChannel(const Loudspeaker& loudspeaker, const Entry& entry) {
    // Switched by this run, which read or kept its level.
    if (entry.switched && !entry.levelUnknown) return false;
    const device::AudioChannel known = loudspeaker->getKnownChannel();
    if (known != kAlarmChannel && known != device::VokarInfo::noChannel) return false;
    try {
        return loudspeaker->getChannel(true) == kAlarmChannel;
    } catch (const exception::UnexpectedResponseOfDevice& error) {
        debug::Place("frm::AlarmDevices::take")
            .debug(L"The channel of '%1%' is not read: %2%", nameOf(loudspeaker), exception::textOf(error));
    }
    if (known == kAlarmChannel) return true;
    return std::nullopt;
}

void AlarmDevices::claim(Owner owner, const std::vector<Loudspeaker>& loudspeakers) {
    for (const Loudspeaker& loudspeaker : loudspeakers) {
        Owner nobody = 0;
        entryOf(loudspeaker)->owner.compare_exchange_strong(nobody, owner);
    }
}

AlarmDevices::Step AlarmDevices::step(Owner owner, const Loudspeaker& loudspeaker,
                                      const std::function<bool()>& current,
                                      const std::function<void()>& change) {
    const std::shared_ptr<Entry> entry = entryOf(loudspeaker);
    std::lock_guard<std::mutex> guard(entry->work);
    if (entry->owner.load() != owner || !current()) return Step::skipped;
    if (owner != 0) {
        entry->lastRun = false;
        dropReplaced(loudspeaker, *entry);
        // One whose give-back is due keeps the level read before.
        if (!entry->touched) {
            try {
                entry->savedLevel = readLevel(loudspeaker);
            } catch (const std::exception& error) {
                debug::Place("frm::AlarmDevices::step")
                    .debug(L"The level of '%1%' is not known: %2%", nameOf(loudspeaker),
                           exception::textOf(error));
            }
            entry->touched = entry->savedLevel.has_value();
            if (!entry->touched) return Step::unread;
        }
        // Recorded before the playback changes it, like a take.
        journal(loudspeaker, *entry);
    }
    change();
    return Step::done;
}

AlarmDevices::Taken AlarmDevices::release(Owner owner) {
    auto failed = std::make_shared<FailureList>();
    std::vector<audio::WorkerPool::Job> jobs;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& [loudspeaker, entry] : entries_) {
            if (entry->owner.load() != owner) continue;
            jobs.push_back([this, owner, loudspeaker = loudspeaker, entry = entry, failed] {
                releaseOne(owner, loudspeaker, *entry, failed);
            });
        }
    }
    pool_.runAll(std::move(jobs));
    return collect(failed);
}

void AlarmDevices::releaseOne(Owner owner, const Loudspeaker& loudspeaker, Entry& entry,
                              const Failures& failed) {
    std::lock_guard<std::mutex> guard(entry.work);
    Owner expected = owner;
    if (entry.owner.load() != owner) return;
    const bool done = giveBack(loudspeaker, entry);
    settle(loudspeaker, entry, done);
    entry.owner.compare_exchange_strong(expected, 0);
    if (!done) note(failed, entry.switched ? &Taken::failed : &Taken::levelRefused, loudspeaker);
}

bool AlarmDevices::giveBack(const Loudspeaker& loudspeaker, Entry& entry) {
    try {
        if (entry.switched) {
            if (loudspeaker->switchChannel(device::CHANNEL_DISCOVERY, true)) {
                entry.switched = false;
            } else if (!loudspeaker->responding.load()) {
                // Away: its level waits for its switch, rather than for a second wait.
                entry.touched = entry.savedLevel.has_value();
                return false;
            }
        }
        if (entry.savedLevel && !loudspeaker->acceptsLevel(*entry.savedLevel)) {
            // Read before its firmware changed the scale: the level it has now stays.
            debug::Place("frm::AlarmDevices::giveBack")
                .info(L"The level of '%1%' read before does not suit it any more: it keeps its own",
                      nameOf(loudspeaker));
            entry.savedLevel.reset();
        }
        // A refusal is told by the caller, once for all the loudspeakers of a broadcast.
        if (entry.savedLevel && loudspeaker->setLevel(*entry.savedLevel, device::VokarInfo::Report::logOnly))
            entry.savedLevel.reset();
    } catch (const std::exception& error) {
        debug::Place("frm::AlarmDevices::giveBack")
            .debug(L"Failed to give back '%1%': %2%", nameOf(loudspeaker), exception::textOf(error));
    }
    // A take that comes before the switch is done reads the level given back.
    entry.touched = entry.savedLevel.has_value();
    return !entry.switched && !entry.savedLevel;
}

void AlarmDevices::settle(const Loudspeaker& loudspeaker, Entry& entry, bool done) {
    const debug::Place place("frm::AlarmDevices::giveBack");
    journal(loudspeaker, entry);
    if (!done) {
        // A later setting of what is still owed replaces it.
        entry.marked = true;
        entry.levelMark = loudspeaker->levelsSet();
        entry.channelMark = loudspeaker->channelsSet();
        // A refusal from a loudspeaker that answers is not asked again at its every status packet;
        // one that does not answer is asked again later and later.
        const std::int64_t now = base::clock::steadyMicros();
        if (loudspeaker->responding.load()) {
            entry.unanswered = 0;
            entry.nextTry.store(now + kRefusedPauseUs);
        } else {
            entry.nextTry.store(now + unansweredPause(++entry.unanswered));
        }
        entry.heardAtTry.store(loudspeaker->lastStateTime.load());
        if (entry.due.exchange(true)) return;
        ++dueCount_;
        place.info(L"The give-back of '%1%' is due: it is tried again when the loudspeaker is heard",
                   nameOf(loudspeaker));
        {
            // The watcher may be between its look at the count and its wait.
            std::lock_guard<std::mutex> watch(watchLock_);
        }
        watchWake_.notify_all();
        return;
    }
    entry.marked = false;
    entry.unanswered = 0;
    if (!entry.due.exchange(false)) return;
    --dueCount_;
    place.info(L"The due give-back of '%1%' is done", nameOf(loudspeaker));
}

void AlarmDevices::dropReplaced(const Loudspeaker& loudspeaker, Entry& entry) {
    if (!entry.marked) return;
    entry.marked = false;
    const debug::Place place("frm::AlarmDevices::dropReplaced");
    if (entry.switched && loudspeaker->channelsSet() != entry.channelMark) {
        place.info(L"A later channel of '%1%' replaces the switch back of its due give-back",
                   nameOf(loudspeaker));
        entry.switched = false;
    }
    if (entry.savedLevel && loudspeaker->levelsSet() != entry.levelMark) {
        place.info(L"A later level of '%1%' replaces the level of its due give-back", nameOf(loudspeaker));
        entry.savedLevel.reset();
        // The next take reads the level it has now.
        entry.touched = false;
    }
    if (!entry.switched && !entry.savedLevel) settle(loudspeaker, entry, true);
}

void AlarmDevices::journal(const Loudspeaker& loudspeaker, Entry& entry, bool switching) {
    GiveBackJournal::Record record;
    record.address = loudspeaker->getHardwareAddress();
    record.switched = entry.switched || switching;
    record.level = entry.savedLevel;
    // What a broadcast of this run left is told at the next start, even where an earlier one was.
    record.told = entry.owner.load() == 0 && entry.journaled && entry.journaled->told;
    if (!record.owed() && !entry.named) {
        if (!entry.journaled) return;
        entry.journaled.reset();
        journal_.erase(record.address);
        return;
    }
    if (entry.journaled && sameRecord(*entry.journaled, record)) return;
    entry.journaled = record;
    journal_.put(record);
}

void AlarmDevices::retryGiveBack(const Loudspeaker& loudspeaker, Entry& entry) {
    struct Retried {
        Entry& entry;
        ~Retried() { entry.retrying.store(false); }
    } retried{entry};
    std::lock_guard<std::mutex> guard(entry.work);
    if (entry.owner.load() != 0 || !entry.due) return;
    dropReplaced(loudspeaker, entry);
    if (!entry.due) return;
    settle(loudspeaker, entry, giveBack(loudspeaker, entry));
}

void AlarmDevices::retryDue(bool heardOrNot) {
    if (dueCount_.load() == 0) return;
    std::vector<std::pair<Loudspeaker, std::shared_ptr<Entry>>> heard;
    const std::int64_t now = base::clock::steadyMicros();
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& [loudspeaker, entry] : entries_) {
            if (!entry->due.load() || entry->owner.load() != 0 || entry->retrying.load()) continue;
            // One that does not answer is asked whether it does by its own check, which pauses
            // too: it is not sent commands meanwhile.
            if (!loudspeaker->responding.load()) continue;
            const std::int64_t lastHeard = loudspeaker->lastStateTime.load();
            if (!heardOrNot &&
                (lastHeard == 0 || lastHeard == entry->heardAtTry.load() || now < entry->nextTry.load()))
                continue;
            heard.emplace_back(loudspeaker, entry);
        }
    }
    for (auto& [loudspeaker, entry] : heard) {
        if (entry->retrying.exchange(true)) continue;
        pool_.post([this, loudspeaker = loudspeaker, entry = entry] { retryGiveBack(loudspeaker, *entry); });
    }
}

void AlarmDevices::watchDue() {
    pthread_setname_np(pthread_self(), "alarm give-back");
    std::unique_lock<std::mutex> guard(watchLock_);
    for (;;) {
        watchWake_.wait(guard,
                        [this] { return ending_ || dueCount_.load() > 0 || unmatchedCount_.load() > 0; });
        if (ending_) return;
        if (watchWake_.wait_for(guard, kDueLook, [this] { return ending_; })) return;
        guard.unlock();
        adoptRegistered();
        retryDue(false);
        guard.lock();
    }
}

void AlarmDevices::switchToCommon(const std::vector<Loudspeaker>& loudspeakers) {
    for (const Loudspeaker& loudspeaker : loudspeakers) {
        pool_.post([loudspeaker, entry = entryOf(loudspeaker)] {
            std::lock_guard<std::mutex> guard(entry->work);
            if (entry->switched) return;
            try {
                loudspeaker->switchChannel(device::CHANNEL_DISCOVERY);
            } catch (const std::exception& error) {
                debug::Place("frm::AlarmDevices::switchToCommon")
                    .debug(L"Failed to switch '%1%': %2%", nameOf(loudspeaker), exception::textOf(error));
            }
        });
    }
    retryDue(true);
}

std::size_t AlarmDevices::heldCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t held = 0;
    for (const auto& [loudspeaker, entry] : entries_) held += entry->owner.load() != 0 ? 1 : 0;
    return held;
}

std::wstring AlarmDevices::joined(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) text += (text.empty() ? L"" : L"\n") + name;
    return text;
}

void AlarmDevices::tell(const Taken& taken) {
    const std::wstring text = listed(
        {{L"Не удалось переключить на канал оповещения устройства:", &taken.failed},
         {L"Не удалось установить громкость оповещения устройствам:", &taken.levelRefused},
         {L"Уровень громкости не прочитан, оповещение идёт на прежнем уровне устройств:", &taken.unread},
         {L"Уже были на канале оповещения, их собственная громкость неизвестна: оповещение идёт на их "
          L"нынешнем уровне, после него они вернутся на общий канал с этим же уровнем:",
          &taken.found}});
    if (!text.empty()) debug::Place("frm::AlarmDevices::take").warn(L"%1%", text);
}

void AlarmDevices::tellGivenBack(const Taken& taken) {
    const std::wstring text = listed({{L"Не удалось вернуть на общий канал устройства:", &taken.failed},
                                      {L"Не удалось вернуть громкость устройствам:", &taken.levelRefused}});
    if (!text.empty()) debug::Place("frm::AlarmDevices::release").warn(L"%1%", text);
}

void AlarmDevices::restoreFromJournal(const std::vector<Loudspeaker>& known, bool collectionRead,
                                      Registered registered) {
    const debug::Place place("frm::AlarmDevices::restoreFromJournal");
    std::vector<GiveBackJournal::Record> records = journal_.load();
    if (records.empty()) return;
    std::map<GiveBackJournal::Key, Loudspeaker> byAddress;
    for (const Loudspeaker& loudspeaker : known)
        byAddress.emplace(GiveBackJournal::keyOf(loudspeaker->getHardwareAddress()), loudspeaker);
    // Up to a number of each list.
    constexpr std::size_t kNamed = 20;
    struct Named {
        std::vector<std::wstring> names;
        std::size_t count = 0;
        void add(const std::wstring& name) {
            if (names.size() < kNamed) names.push_back(name);
            ++count;
        }
        std::vector<std::wstring> all() const {
            std::vector<std::wstring> listed = names;
            if (count > names.size()) listed.push_back(L"… и ещё " + std::to_wstring(count - names.size()));
            return listed;
        }
    };
    std::vector<std::pair<Loudspeaker, GiveBackJournal::Record>> adopted;
    std::map<GiveBackJournal::Key, GiveBackJournal::Record> unmatched;
    std::set<GiveBackJournal::Key> noticed;
    std::vector<net::HardwareAddress> dropped;
    Named droppedNames, both, channel, level, back;
    for (const GiveBackJournal::Record& record : records) {
        const GiveBackJournal::Key key = GiveBackJournal::keyOf(record.address);
        const auto found = byAddress.find(key);
        if ((!record.owed() && record.told) || (found == byAddress.end() && collectionRead)) {
            droppedNames.add(base::widen(record.address.canonicalText()));
            dropped.push_back(record.address);
            continue;
        }
        if (!record.told) {
            // Named as the collection names it; one the registry does not hold yet by its address.
            const std::wstring name = found != byAddress.end() ? nameOf(found->second)
                                                               : base::widen(record.address.canonicalText());
            (!record.owed()                    ? back
             : record.switched && record.level ? both
             : record.switched                 ? channel
                                               : level)
                .add(name);
            noticed.insert(key);
        }
        if (found == byAddress.end()) {
            unmatched.emplace(key, record);
        } else {
            adopted.emplace_back(found->second, record);
        }
    }
    if (!dropped.empty()) {
        place.info(
            L"Records of loudspeakers to give back that name no loudspeaker of the device collection, or "
            L"owe nothing, are dropped (%1%): %2%",
            dropped.size(), joined(droppedNames.all()));
    }
    if (!unmatched.empty()) {
        place.info(
            L"The device collection was not read: %1% records of loudspeakers to give back wait for "
            L"their loudspeakers",
            unmatched.size());
    }
    journal_.update({}, dropped);
    // Marked as told once the operator has closed its box: a start that ends before passes it on.
    const std::size_t toTell = both.count + channel.count + level.count + back.count;
    if (toTell > 0) {
        const std::wstring heading = std::wstring(kLeftNotice) + L" (" + std::to_wstring(toTell) + L")";
        {
            std::lock_guard<std::mutex> guard(noticeLock_);
            notice_ = heading;
            noticed_ = std::move(noticed);
        }
        const std::vector<std::wstring> bothNames = both.all(), channelNames = channel.all(),
                                        levelNames = level.all(), backNames = back.all();
        place.notice(L"%1%. Они будут возвращены, как только ответят.\n\n%2%", heading,
                     listed({{L"На общий канал с прежней громкостью:", &bothNames},
                             {L"На общий канал:", &channelNames},
                             {L"К прежней громкости:", &levelNames},
                             {L"Уже возвращены:", &backNames}}));
    }
    for (const auto& [loudspeaker, record] : adopted) adopt(loudspeaker, record);
    {
        std::lock_guard<std::mutex> guard(unmatchedLock_);
        unmatched_ = std::move(unmatched);
        registered_ = std::move(registered);
        unmatchedCount_.store(registered_ ? unmatched_.size() : 0);
    }
    std::lock_guard<std::mutex> watch(watchLock_);
    watchWake_.notify_all();
}

void AlarmDevices::adoptRegistered() {
    if (unmatchedCount_.load() == 0) return;
    std::vector<std::pair<Loudspeaker, GiveBackJournal::Record>> found;
    {
        std::lock_guard<std::mutex> guard(unmatchedLock_);
        for (const Loudspeaker& loudspeaker : registered_()) {
            const auto record = unmatched_.find(GiveBackJournal::keyOf(loudspeaker->getHardwareAddress()));
            if (record == unmatched_.end()) continue;
            found.emplace_back(loudspeaker, record->second);
            unmatched_.erase(record);
        }
        unmatchedCount_.store(unmatched_.size());
    }
    for (const auto& [loudspeaker, record] : found) adopt(loudspeaker, record);
}

void AlarmDevices::adopt(const Loudspeaker& loudspeaker, const GiveBackJournal::Record& record) {
    const std::shared_ptr<Entry> entry = entryOf(loudspeaker);
    std::lock_guard<std::mutex> guard(entry->work);
    // The level the last run read comes before one that a broadcast of this run read: that one may
    // be the level of the alarm the last run left.
    entry->switched = entry->switched || record.switched;
    if (record.level && loudspeaker->acceptsLevel(*record.level)) entry->savedLevel = record.level;
    entry->touched = entry->savedLevel.has_value();
    entry->levelUnknown = entry->switched && !entry->savedLevel;
    entry->journaled = record;
    entry->lastRun = true;
    if (!record.told) {
        entry->named = true;
        bool pending = false;
        {
            std::lock_guard<std::mutex> notice(noticeLock_);
            pending = noticed_.count(GiveBackJournal::keyOf(record.address)) > 0;
        }
        // Its notice was shown while it waited for its loudspeaker.
        if (!pending) shown(*entry);
    }
    if (record.owed()) {
        debug::Place("frm::AlarmDevices::restoreFromJournal")
            .info(L"'%1%' was left on an alarm by the last run: given back once it answers",
                  nameOf(loudspeaker));
    }
    if (entry->owner.load() != 0) return;
    settle(loudspeaker, *entry, !entry->switched && !entry->savedLevel);
    // Not tried in this run yet: tried as soon as it is heard and answers.
    entry->nextTry.store(0);
    entry->heardAtTry.store(0);
}

bool AlarmDevices::noticeShown(const std::wstring& text) {
    std::set<GiveBackJournal::Key> named;
    {
        std::lock_guard<std::mutex> guard(noticeLock_);
        if (notice_.empty() || text.find(notice_) == std::wstring::npos) return false;
        notice_.clear();
        named.swap(noticed_);
    }
    {
        // Those still waiting for their loudspeakers are told so when they come.
        std::lock_guard<std::mutex> guard(unmatchedLock_);
        std::vector<GiveBackJournal::Record> told;
        std::vector<net::HardwareAddress> gone;
        for (auto record = unmatched_.begin(); record != unmatched_.end();) {
            if (named.count(record->first) == 0) {
                ++record;
            } else if (!record->second.owed()) {
                gone.push_back(record->second.address);
                record = unmatched_.erase(record);
            } else {
                record->second.told = true;
                told.push_back(record->second);
                ++record;
            }
        }
        unmatchedCount_.store(registered_ ? unmatched_.size() : 0);
        journal_.update(told, gone);
    }
    std::vector<std::shared_ptr<Entry>> adopted;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& [loudspeaker, entry] : entries_)
            if (named.count(GiveBackJournal::keyOf(loudspeaker->getHardwareAddress())) > 0)
                adopted.push_back(entry);
    }
    // In each loudspeaker's own turn: a step on it may be waiting for its answers.
    for (const std::shared_ptr<Entry>& entry : adopted) {
        pool_.post([this, entry] {
            std::lock_guard<std::mutex> guard(entry->work);
            shown(*entry);
        });
    }
    return true;
}

void AlarmDevices::shown(Entry& entry) {
    if (!entry.named) return;
    entry.named = false;
    if (!entry.journaled) return;
    GiveBackJournal::Record record = *entry.journaled;
    if (!record.owed()) {
        entry.journaled.reset();
        journal_.erase(record.address);
        return;
    }
    // A broadcast of this run that took it since left a record of its own, told at the next start.
    if (!entry.lastRun || entry.owner.load() != 0 || record.told) return;
    record.told = true;
    entry.journaled = record;
    journal_.put(record);
}

void AlarmDevices::note(const Failures& failed, std::vector<std::wstring> Taken::*list,
                        const Loudspeaker& loudspeaker) {
    std::lock_guard<std::mutex> guard(failuresLock_);
    Taken& names = failed->collected ? failed->late : failed->names;
    (names.*list).push_back(nameOf(loudspeaker));
}

void AlarmDevices::stepDone(const Failures& failed) {
    Taken late;
    {
        std::lock_guard<std::mutex> guard(failuresLock_);
        if (--failed->running > 0 || !failed->collected) return;
        late = std::move(failed->late);
    }
    tell(late);
}

AlarmDevices::Taken AlarmDevices::collect(const Failures& failed) {
    std::lock_guard<std::mutex> guard(failuresLock_);
    failed->collected = true;
    return failed->names;
}

}  // namespace frm
