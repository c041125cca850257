#include "audio/PlayerChannel.h"

#include <chrono>

#include "audio/AlarmChannel.h"
#include "audio/Player.h"
#include "devicelink/DeviceCollection.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace frm {
namespace {

// Every loudspeaker of a large site has a thread of its own, so that those that do not answer
// hold none of the others.
constexpr std::size_t kDeviceThreads = 16;
constexpr std::size_t kMostDeviceThreads = 1024;
// The playlist waits this long at most for the loudspeakers' volume, so that one that has stopped
// answering since it was last asked holds it up no longer.
constexpr auto kVolumeGrace = std::chrono::milliseconds(500);

using SetVolume = ActionCall<device::VokarInfo, bool>;
using EnableVolume = ActionArg1<device::DeviceBase, bool, bool>;

// What the steps of one start tell once the last of them is done.
struct StepReport {
    std::mutex lock;
    std::size_t left = 0;
    std::vector<std::wstring> unread;
    // The action whose refusals are told; null when it tells its own.
    std::shared_ptr<IAction> told;
};

void stepDone(StepReport& report, const std::wstring& unread) {
    std::vector<std::wstring> unreadNames;
    {
        std::lock_guard<std::mutex> guard(report.lock);
        if (!unread.empty()) report.unread.push_back(unread);
        if (--report.left > 0) return;
        unreadNames = std::move(report.unread);
    }
    const debug::Place place("frm::PlayerChannel::start");
    if (!unreadNames.empty())
        place.warn(L"Уровень громкости не прочитан, громкость не изменена устройствам:\n%1%",
                   AlarmDevices::joined(unreadNames));
    std::vector<std::wstring> failed;
    if (report.told)
        for (const auto& target : report.told->getFailed()) failed.push_back(target->getDisplayName());
    if (!failed.empty())
        place.warn(L"Не удалось установить громкость устройствам:\n%1%", AlarmDevices::joined(failed));
}

}  // namespace

PlayerChannel::PlayerChannel(Player& player, AlarmChannel& alarm,
                             std::shared_ptr<device::DeviceCollection> registry)
    : player_(player),
      alarm_(alarm),
      registry_(std::move(registry)),
      pool_("player devices", kDeviceThreads, kMostDeviceThreads) {}

PlayerChannel::~PlayerChannel() {
    std::unique_lock<std::mutex> guard(gate_->lock);
    gate_->closed = true;
    gate_->idle.wait(guard, [this] { return gate_->running == 0; });
}

base::SingletonSlot<PlayerChannel>& PlayerChannel::instanceSlot() {
    static base::SingletonSlot<PlayerChannel> slot;
    return slot;
}

void PlayerChannel::setSelectionProvider(SelectionProvider provider) {
    std::lock_guard<std::mutex> guard(lock_);
    selection_ = std::move(provider);
}

bool PlayerChannel::alarmRefuses(const Targets& targets) const {
    const debug::Place place("frm::PlayerChannel::play");
    if (alarm_.isBusy()) {
        place.notice(L"Идёт приоритетное оповещение. Воспроизведение невозможно.");
        return true;
    }
    for (const auto& target : targets) {
        const auto loudspeaker = std::dynamic_pointer_cast<device::VokarInfo>(target);
        if (loudspeaker && loudspeaker->isPlaybackType(device::playback::metaAlarm)) {
            place.notice(L"Устройство '%1%' воспроизводит оповещение с более высоким приоритетом",
                         loudspeaker->getDisplayName());
            return true;
        }
    }
    return false;
}

bool PlayerChannel::play(const std::shared_ptr<Playlist>& playlist, int volume, const Targets& targets,
                         std::uint64_t* startId) {
    return request(playlist, volume, targets, startId, false);
}

bool PlayerChannel::request(const std::shared_ptr<Playlist>& playlist, int volume, const Targets& targets,
                            std::uint64_t* startId, bool givesBack) {
    const debug::Place place("frm::PlayerChannel::play");
    debug::throwIfFalse(playlist != nullptr, "frm::PlayerChannel::play");
    if (targets.empty()) {
        place.notice(L"Не выбрано ни одного устройства");
        return false;
    }
    if (alarmRefuses(targets)) return false;
    std::uint64_t id = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const bool plays = player_.isPlaying() && player_.getPlaylist() == playlist &&
                           playlist_ == playlist && targets_ == targets;
        const bool queued = pending_ > 0 && pendingPlaylist_ == playlist && pendingTargets_ == targets;
        if (plays || queued) {
            place.notice(L"Плейлист '%1%' уже воспроизводится на выбранных устройствах", playlist->getName());
            return false;
        }
        ++pending_;
        pendingPlaylist_ = playlist;
        pendingTargets_ = targets;
        id = ++lastStartId_;
    }
    if (startId) *startId = id;
    queue(L"start the player channel", [this, playlist, volume, targets, id, givesBack] {
        start(playlist, volume, targets, id, givesBack);
    });
    return true;
}

bool PlayerChannel::playForSelected(const std::shared_ptr<Playlist>& playlist, int volume) {
    SelectionProvider provider;
    {
        std::lock_guard<std::mutex> guard(lock_);
        provider = selection_;
    }
    return request(playlist, volume, provider ? provider() : Targets(), nullptr, true);
}

void PlayerChannel::stop() {
    queue(L"stop the player channel", [this] {
        std::lock_guard<std::mutex> turn(turns_);
        ++turn_;
        player_.stop(true);
        {
            std::lock_guard<std::mutex> guard(lock_);
            playlist_.reset();
            targets_.clear();
            playingStartId_ = 0;
        }
        giveBackHeld();
    });
}

void PlayerChannel::giveVolumesBack() {
    std::lock_guard<std::mutex> turn(turns_);
    ++turn_;
    giveBackHeld();
}

void PlayerChannel::giveBackHeld() {
    AlarmDevices::Owner held = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        held = heldBy_;
    }
    giveBack(held);
}

void PlayerChannel::giveBack(AlarmDevices::Owner owner) {
    if (owner == 0) return;
    const AlarmDevices::Taken failed = alarm_.devices().release(owner);
    // Only now: a start that finds the owner still here waits for the same loudspeakers to be
    // back before it holds them itself.
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (heldBy_ == owner) heldBy_ = 0;
    }
    AlarmDevices::tellGivenBack(failed);
}

void PlayerChannel::stopStarted(std::uint64_t startId) {
    queue(L"stop a start of the player channel", [this, startId] {
        std::unique_lock<std::mutex> guard(lock_);
        if (startId == 0 || playingStartId_ != startId || player_.getSession() != playingSession_ ||
            !player_.isPlaying()) {
            guard.unlock();
            debug::Place("frm::PlayerChannel::stopStarted")
                .debug(L"The player plays something else than start %1%: not stopped", startId);
            return;
        }
        playlist_.reset();
        targets_.clear();
        playingStartId_ = 0;
        ++turn_;
        guard.unlock();
        player_.stop(true);
    });
}

void PlayerChannel::enter(const std::shared_ptr<Gate>& gate, const std::function<void()>& work) {
    {
        std::lock_guard<std::mutex> guard(gate->lock);
        if (gate->closed) return;
        ++gate->running;
    }
    struct Leave {
        Gate& gate;
        ~Leave() {
            std::lock_guard<std::mutex> guard(gate.lock);
            if (--gate.running == 0) gate.idle.notify_all();
        }
    } leave{*gate};
    work();
}

void PlayerChannel::queue(const wchar_t* description, std::function<void()> work) {
    // Numbered under the lock, so that the numbers follow the dispatcher's order.
    std::lock_guard<std::mutex> guard(gate_->lock);
    base::ThreadDispatcher::add(description, 0,
                                [gate = gate_, number = gate_->queued, work = std::move(work)] {
                                    {
                                        std::unique_lock<std::mutex> turn(gate->lock);
                                        gate->turn.wait(turn, [&] { return gate->serving == number; });
                                    }
                                    struct Next {
                                        Gate& gate;
                                        ~Next() {
                                            std::lock_guard<std::mutex> turn(gate.lock);
                                            ++gate.serving;
                                            gate.turn.notify_all();
                                        }
                                    } next{*gate};
                                    enter(gate, work);
                                });
    ++gate_->queued;
}

void PlayerChannel::start(const std::shared_ptr<Playlist>& playlist, int volume, const Targets& targets,
                          std::uint64_t startId, bool givesBack) {
    struct Done {
        PlayerChannel& channel;
        ~Done() {
            std::lock_guard<std::mutex> guard(channel.lock_);
            if (--channel.pending_ == 0) {
                channel.pendingPlaylist_.reset();
                channel.pendingTargets_.clear();
            }
        }
    } done{*this};
    std::lock_guard<std::mutex> turn(turns_);
    const std::uint64_t ownTurn = ++turn_;
    player_.stop(false);
    // What an earlier start changed goes back before this one changes anything.
    giveBackHeld();
    // The alarm channel may have started since the request.
    if (alarmRefuses(targets)) return;
    const Loudspeakers loudspeakers = reachable();
    AlarmDevices::Owner owner = 0;
    if (givesBack) {
        owner = alarm_.devices().newOwner();
        alarm_.devices().claim(owner, loudspeakers);
        // Whatever ends the playlist's playing gives them back: its end, a stop, another start
        // or another playlist that the player was given directly.
        playlist->setCallbackIfPlaying([this, gate = gate_, owner](bool playing, bool) {
            if (!playing) enter(gate, [this, owner] { giveBack(owner); });
        });
        std::lock_guard<std::mutex> guard(lock_);
        heldBy_ = owner;
    }
    runVolumeActions(volume, targets, loudspeakers, owner, ownTurn);
    player_.play(playlist);
    std::lock_guard<std::mutex> guard(lock_);
    playlist_ = playlist;
    targets_ = targets;
    playingStartId_ = startId;
    playingSession_ = player_.getSession();
}

PlayerChannel::Loudspeakers PlayerChannel::reachable() const {
    Loudspeakers loudspeakers;
    if (!registry_) return loudspeakers;
    for (auto& loudspeaker : registry_->getVokars(true)) {
        // A loudspeaker on a higher-priority announcement keeps its volume.
        if (!loudspeaker->isPlaybackType(device::playback::metaAlarm))
            loudspeakers.push_back(std::move(loudspeaker));
    }
    return loudspeakers;
}

void PlayerChannel::runVolumeActions(int volume, const Targets& targets, const Loudspeakers& loudspeakers,
                                     AlarmDevices::Owner owner, std::uint64_t turn) {
    std::shared_ptr<ActionResults<bool>> chosen;
    if (volume >= 0) {
        // A refusal is told once for all the start's loudspeakers, not by each of them.
        chosen = std::make_shared<SetVolume>([volume](device::VokarInfo& loudspeaker) {
            return loudspeaker.setVolume(volume, device::VokarInfo::Report::logOnly);
        });
    } else {
        chosen = std::make_shared<EnableVolume>(&device::DeviceBase::enableVolume, true);
    }
    const std::shared_ptr<ActionResults<bool>> mute =
        std::make_shared<EnableVolume>(&device::DeviceBase::enableVolume, false);
    auto report = std::make_shared<StepReport>();
    report->left = loudspeakers.size();
    // Turning the volume on or off answers no also when there was nothing to do, and tells its
    // own failures; a volume that was not taken is told once for all.
    if (volume >= 0) report->told = chosen;
    std::vector<audio::WorkerPool::Job> jobs;
    for (const auto& loudspeaker : loudspeakers) {
        const std::shared_ptr<device::DeviceBase> target = loudspeaker;
        const std::shared_ptr<IAction> action = targets.count(target) ? chosen : mute;
        jobs.push_back([this, owner, turn, loudspeaker, target, action, report] {
            std::wstring unread;
            struct Done {
                StepReport& report;
                const std::wstring& unread;
                ~Done() { stepDone(report, unread); }
            } done{*report, unread};
            const AlarmDevices::Step step = alarm_.devices().step(
                owner, loudspeaker, [this, turn] { return turn_.load() == turn; },
                [&] { action->run(target); });
            if (step == AlarmDevices::Step::unread) unread = loudspeaker->getDisplayName();
        });
    }
    // The steps that the grace leaves running go on after the start.
    pool_.runAll(std::move(jobs), std::chrono::steady_clock::now() + kVolumeGrace);
    std::lock_guard<std::mutex> guard(lock_);
    lastActions_ = {chosen, mute};
}

bool PlayerChannel::isPlaying() const {
    return player_.isPlaying();
}

bool PlayerChannel::isStartPending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_ > 0;
}

std::vector<std::shared_ptr<IAction>> PlayerChannel::getLastActions() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lastActions_;
}

}  // namespace frm
