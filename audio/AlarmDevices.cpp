#include "audio/AlarmDevices.h"

#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace frm {
namespace {

std::wstring nameOf(const AlarmDevices::Loudspeaker& loudspeaker) {
    return loudspeaker->getDisplayName();
}

}  // namespace

AlarmDevices::AlarmDevices(std::size_t threads) : pool_("alarm devices", threads) {}

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
    std::vector<audio::WorkerPool::Job> jobs;
    for (const Loudspeaker& loudspeaker : loudspeakers) {
        jobs.push_back([this, owner, loudspeaker, entry = entryOf(loudspeaker), volume, failed] {
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
    bool done = false;
    try {
        if (!entry.touched) {
            // Asked of the loudspeaker even when a volume is known: the percentages stop at the
            // quietest audible level, and the program may not know the level of a loudspeaker it
            // sees as not answering, though it answers now. One that does not answer is left
            // alone.
            entry.savedLevel = readLevel(loudspeaker);
            entry.touched = true;
            if (!entry.savedLevel)
                note(
                    failed, &Taken::unread, loudspeaker,
                    L"Уровень громкости устройства '%1%' не прочитан: оповещение идёт на его прежнем уровне");
        }
        // The channel first: the first moment of the gong at the old volume is better than the
        // common stream at the alarm's.
        entry.switched = true;
        const bool switched = loudspeaker->switchChannel(kAlarmChannel);
        // A loudspeaker that defers the switch until its own playback ends still gets the volume.
        // One whose level is not known keeps it: raised, it could not be given back.
        done = (!entry.savedLevel || loudspeaker->setVolume(volume)) && switched;
    } catch (const std::exception& error) {
        place.debug(L"Failed to take '%1%': %2%", nameOf(loudspeaker), exception::textOf(error));
    }
    if (!done)
        note(failed, &Taken::failed, loudspeaker,
             L"Не удалось переключить на канал оповещения устройство '%1%'");
}

std::vector<AlarmDevices::Loudspeaker> AlarmDevices::keep(Owner owner,
                                                          const std::vector<Loudspeaker>& loudspeakers) {
    std::mutex lock;
    std::vector<Loudspeaker> unread;
    std::vector<audio::WorkerPool::Job> jobs;
    for (const Loudspeaker& loudspeaker : loudspeakers) {
        std::shared_ptr<Entry> entry = entryOf(loudspeaker);
        Owner nobody = 0;
        if (!entry->owner.compare_exchange_strong(nobody, owner)) continue;
        jobs.push_back([owner, loudspeaker, entry = std::move(entry), &lock, &unread] {
            std::lock_guard<std::mutex> guard(entry->work);
            if (entry->owner.load() != owner) return;
            try {
                entry->savedLevel = readLevel(loudspeaker);
            } catch (const std::exception& error) {
                debug::Place("frm::AlarmDevices::keep")
                    .debug(L"The level of '%1%' is not known: %2%", nameOf(loudspeaker),
                           exception::textOf(error));
            }
            // Left untouched, it is given back as it is; a broadcast that takes it over asks again.
            entry->touched = entry->savedLevel.has_value();
            if (entry->touched) return;
            std::lock_guard<std::mutex> unreadGuard(lock);
            unread.push_back(loudspeaker);
        });
    }
    pool_.runAll(std::move(jobs));
    return unread;
}

std::vector<std::wstring> AlarmDevices::release(Owner owner) {
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
    return collect(failed).failed;
}

void AlarmDevices::releaseOne(Owner owner, const Loudspeaker& loudspeaker, Entry& entry,
                              const Failures& failed) {
    const debug::Place place("frm::AlarmDevices::release");
    std::lock_guard<std::mutex> guard(entry.work);
    Owner expected = owner;
    if (entry.owner.load() != owner) return;
    bool done = true;
    if (entry.touched) {
        try {
            if (entry.switched) done = loudspeaker->switchChannel(device::CHANNEL_DISCOVERY);
            if (entry.savedLevel) done = loudspeaker->setLevel(*entry.savedLevel) && done;
        } catch (const std::exception& error) {
            done = false;
            place.debug(L"Failed to give back '%1%': %2%", nameOf(loudspeaker), exception::textOf(error));
        }
        entry.touched = false;
        entry.savedLevel.reset();
        entry.switched = false;
    }
    entry.owner.compare_exchange_strong(expected, 0);
    if (!done)
        note(failed, &Taken::failed, loudspeaker, L"Не удалось вернуть на общий канал устройство '%1%'");
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
}

std::size_t AlarmDevices::heldCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t held = 0;
    for (const auto& [loudspeaker, entry] : entries_) held += entry->owner.load() != 0 ? 1 : 0;
    return held;
}

std::wstring AlarmDevices::joined(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) text += (text.empty() ? L"" : L", ") + name;
    return text;
}

void AlarmDevices::note(const Failures& failed, std::vector<std::wstring> Taken::*list,
                        const Loudspeaker& loudspeaker, const wchar_t* lateText) {
    {
        std::lock_guard<std::mutex> guard(failuresLock_);
        if (!failed->collected) {
            (failed->names.*list).push_back(nameOf(loudspeaker));
            return;
        }
    }
    debug::Place("frm::AlarmDevices").warn(lateText, nameOf(loudspeaker));
}

AlarmDevices::Taken AlarmDevices::collect(const Failures& failed) {
    std::lock_guard<std::mutex> guard(failuresLock_);
    failed->collected = true;
    return failed->names;
}

}  // namespace frm
