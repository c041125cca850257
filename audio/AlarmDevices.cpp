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

void AlarmDevices::save(const Loudspeaker& loudspeaker, Entry& entry) {
    if (entry.touched) return;
    entry.savedVolume = loudspeaker->getVolume();
    entry.touched = true;
}

void AlarmDevices::assign(Owner owner, const std::vector<Loudspeaker>& loudspeakers) {
    for (const Loudspeaker& loudspeaker : loudspeakers) entryOf(loudspeaker)->owner.store(owner);
}

std::vector<std::wstring> AlarmDevices::take(Owner owner, const std::vector<Loudspeaker>& loudspeakers,
                                             int volume, Clock::time_point deadline) {
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
        if (!loudspeaker->isOnline()) throw exception::Offline();
        save(loudspeaker, entry);
        // The channel first: the first moment of the gong at the old volume is better than the
        // common stream at the alarm's.
        entry.switched = true;
        const bool switched = loudspeaker->switchChannel(kAlarmChannel);
        // A loudspeaker that defers the switch until its own playback ends still gets the volume.
        done = loudspeaker->setVolume(volume) && switched;
    } catch (const std::exception& error) {
        place.debug(L"Failed to take '%1%': %2%", nameOf(loudspeaker), exception::textOf(error));
    }
    if (!done) fail(failed, loudspeaker, L"Не удалось переключить на канал оповещения устройство '%1%'");
}

void AlarmDevices::keep(Owner owner, const std::vector<Loudspeaker>& loudspeakers) {
    std::vector<audio::WorkerPool::Job> jobs;
    for (const Loudspeaker& loudspeaker : loudspeakers) {
        std::shared_ptr<Entry> entry = entryOf(loudspeaker);
        Owner nobody = 0;
        if (!entry->owner.compare_exchange_strong(nobody, owner)) continue;
        jobs.push_back([owner, loudspeaker, entry = std::move(entry)] {
            std::lock_guard<std::mutex> guard(entry->work);
            if (entry->owner.load() != owner) return;
            try {
                save(loudspeaker, *entry);
            } catch (const std::exception& error) {
                debug::Place("frm::AlarmDevices::keep")
                    .debug(L"The volume of '%1%' is not known: %2%", nameOf(loudspeaker),
                           exception::textOf(error));
            }
        });
    }
    pool_.runAll(std::move(jobs));
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
    return collect(failed);
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
            if (entry.savedVolume != device::kUnknownVolume)
                done = loudspeaker->setVolume(entry.savedVolume) && done;
        } catch (const std::exception& error) {
            done = false;
            place.debug(L"Failed to give back '%1%': %2%", nameOf(loudspeaker), exception::textOf(error));
        }
        entry.touched = false;
        entry.savedVolume = device::kUnknownVolume;
        entry.switched = false;
    }
    entry.owner.compare_exchange_strong(expected, 0);
    if (!done) fail(failed, loudspeaker, L"Не удалось вернуть на общий канал устройство '%1%'");
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

void AlarmDevices::fail(const Failures& failed, const Loudspeaker& loudspeaker, const wchar_t* lateText) {
    {
        std::lock_guard<std::mutex> guard(failuresLock_);
        if (!failed->collected) {
            failed->names.push_back(nameOf(loudspeaker));
            return;
        }
    }
    debug::Place("frm::AlarmDevices").warn(lateText, nameOf(loudspeaker));
}

std::vector<std::wstring> AlarmDevices::collect(const Failures& failed) {
    std::lock_guard<std::mutex> guard(failuresLock_);
    failed->collected = true;
    return failed->names;
}

}  // namespace frm
