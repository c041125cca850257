#include "audio/AlarmChannel.h"

#include <pthread.h>

#include <algorithm>

#include "audio/Mp3FileDecoder.h"
#include "audio/PlaceFolders.h"
#include "audio/PlayerEngine.h"
#include "audio/mp3streamf.h"
#include "devicelink/DeviceCollection.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"

namespace frm {
namespace {

// Loudspeakers switched at once while nothing waits, and at most: every loudspeaker of a large
// site has a thread of its own, so that those that do not answer hold none of the others.
constexpr std::size_t kDeviceThreads = 32;
constexpr std::size_t kMostDeviceThreads = 1024;
// The stream waits this long at most for the loudspeakers to be switched, so that those that
// answer hear the gong from its start while one that does not answer holds nothing up.
constexpr auto kSwitchGrace = std::chrono::milliseconds(250);
// The lowest priority: a recording alone gives way to any broadcast.
constexpr int kRecordingPriority = 0;

const wchar_t* noticeName(AlarmChannel::Notice notice) {
    switch (notice) {
        case AlarmChannel::finished:
            return L"finished";
        case AlarmChannel::stopped:
            return L"stopped";
        case AlarmChannel::interrupted:
            break;
    }
    return L"interrupted";
}

}  // namespace

struct AlarmChannel::Session {
    std::uint64_t id = 0;
    Broadcast request;
    std::vector<AlarmDevices::Loudspeaker> loudspeakers;
    std::thread thread;
    // Under the channel's lock.
    bool endRequested = false;
    Notice notice = interrupted;
    // The watcher is ending it.
    bool ending = false;
};

AlarmChannel::AlarmChannel(mp3streamf& stream, std::shared_ptr<device::DeviceCollection> registry,
                           const std::wstring& journalPath, GiveBackJournal::Writer journalWriter)
    : stream_(stream),
      registry_(std::move(registry)),
      devices_(kDeviceThreads, kMostDeviceThreads, journalPath, std::move(journalWriter)) {
    stream_.set_end_handler([this](bool ok, const std::wstring&) { onStreamEnd(ok); });
    watcher_ = std::thread([this] { watch(); });
}

void AlarmChannel::giveBackWhatALastRunLeft(bool collectionRead) {
    if (!registry_) {
        devices_.restoreFromJournal({}, collectionRead);
        return;
    }
    devices_.restoreFromJournal(registry_->getVokars(false), collectionRead,
                                [registry = registry_] { return registry->getVokars(false); });
}

AlarmChannel::~AlarmChannel() {
    close();
    watcher_.join();
    stream_.set_end_handler(nullptr);
}

base::SingletonSlot<AlarmChannel>& AlarmChannel::instanceSlot() {
    static base::SingletonSlot<AlarmChannel> slot;
    return slot;
}

void AlarmChannel::setSelectionProvider(SelectionProvider provider) {
    std::lock_guard<std::mutex> guard(lock_);
    selection_ = std::move(provider);
}

Targets AlarmChannel::selection() const {
    SelectionProvider provider;
    {
        std::lock_guard<std::mutex> guard(lock_);
        provider = selection_;
    }
    return provider ? provider() : Targets();
}

bool AlarmChannel::launchForSelection(Broadcast broadcast) {
    broadcast.targets = selection();
    return launch(broadcast);
}

bool AlarmChannel::launch(int priority, const std::wstring& description, const std::wstring& messagePath,
                          const std::wstring& gongPath, int volume, NoticeListener listener) {
    return launchForSelection({priority,
                               description,
                               messagePath,
                               gongPath,
                               false,
                               std::wstring(),
                               volume,
                               std::move(listener),
                               {}});
}

bool AlarmChannel::launch(MicrophoneTag, int priority, const std::wstring& description,
                          const std::wstring& gongPath, const std::wstring& recordPath, int volume,
                          NoticeListener listener) {
    return launchForSelection(
        {priority, description, std::wstring(), gongPath, true, recordPath, volume, std::move(listener), {}});
}

bool AlarmChannel::launch(const std::wstring& description, const std::wstring& recordPath,
                          NoticeListener listener) {
    return launch(Broadcast{kRecordingPriority,
                            description,
                            std::wstring(),
                            std::wstring(),
                            true,
                            recordPath,
                            100,
                            std::move(listener),
                            {}});
}

bool AlarmChannel::refuses(const Broadcast& broadcast) const {
    const debug::Place place("frm::AlarmChannel::launch");
    if (broadcast.volume < 0 || broadcast.volume > 100) {
        place.warn(L"Некорректная громкость '%1%'", broadcast.volume);
        return true;
    }
    const bool recording = broadcast.microphone && !broadcast.recordPath.empty();
    if (broadcast.targets.empty() && !recording) {
        place.notice(L"Не выбрано ни одного устройства");
        return true;
    }
    if (!broadcast.microphone &&
        (broadcast.messagePath.empty() || !base::pathExists(broadcast.messagePath))) {
        place.error(L"Файл сообщения не найден: '%1%'", broadcast.messagePath);
        return true;
    }
    if (!broadcast.gongPath.empty() && !base::pathExists(broadcast.gongPath)) {
        place.error(L"Файл гонга не найден: '%1%'", broadcast.gongPath);
        return true;
    }
    return false;
}

std::vector<AlarmDevices::Loudspeaker> AlarmChannel::loudspeakersOf(const Targets& targets) const {
    std::vector<AlarmDevices::Loudspeaker> loudspeakers;
    for (const auto& target : targets)
        if (auto loudspeaker = std::dynamic_pointer_cast<device::VokarInfo>(target))
            loudspeakers.push_back(std::move(loudspeaker));
    return loudspeakers;
}

bool AlarmChannel::launch(const Broadcast& broadcast) {
    const debug::Place place("frm::AlarmChannel::launch");
    if (refuses(broadcast)) return false;
    auto session = std::make_shared<Session>();
    session->request = broadcast;
    session->loudspeakers = loudspeakersOf(broadcast.targets);

    std::lock_guard<std::mutex> guard(lock_);
    if (closing_) {
        place.debug(L"The channel is closed: '%1%' is not started", broadcast.description);
        return false;
    }
    if (sessions_.empty() && stream_.is_stream()) {
        place.notice(L"Модуль занят");
        return false;
    }
    if (active_ && broadcast.priority <= active_->request.priority) {
        place.notice(L"Канал оповещения занят: '%1%' (приоритет %2%)", active_->request.description,
                     active_->request.priority);
        return false;
    }
    if (active_) {
        place.info(L"Broadcast '%1%' gives way to '%2%'", active_->request.description,
                   broadcast.description);
        requestEnd(active_, interrupted);
    }
    session->id = devices_.newOwner();
    devices_.assign(session->id, session->loudspeakers);
    active_ = session;
    sessions_.push_back(session);
    session->thread = std::thread([this, session] { runBroadcast(session); });
    place.info(L"Оповещение '%1%' запущено (приоритет %2%, громкость %3%, громкоговорителей %4%)",
               broadcast.description, broadcast.priority, broadcast.volume, session->loudspeakers.size());
    return true;
}

void AlarmChannel::requestEnd(const SessionPtr& session, Notice notice) {
    if (session->endRequested) return;
    session->endRequested = true;
    session->notice = notice;
    if (active_ == session) active_.reset();
    changed_.notify_all();
}

void AlarmChannel::runBroadcast(const SessionPtr& session) {
    pthread_setname_np(pthread_self(), "alarm broadcast");
    try {
        runStream(session);
    } catch (const std::exception& error) {
        debug::Place("frm::AlarmChannel::runBroadcast")
            .error(L"Ошибка оповещения '%1%': %2%", session->request.description, exception::textOf(error));
    }
    std::lock_guard<std::mutex> guard(lock_);
    requestEnd(session, interrupted);
}

void AlarmChannel::runStream(const SessionPtr& session) {
    const debug::Place place("frm::AlarmChannel::runStream");
    const Broadcast& request = session->request;
    AlarmDevices::tell(devices_.take(session->id, session->loudspeakers, request.volume,
                                     AlarmDevices::Clock::now() + kSwitchGrace));

    // The stream is the broadcast's from here until it is closed, also when something throws.
    std::lock_guard<std::mutex> stream(streamLock_);
    struct Closer {
        AlarmChannel& channel;
        bool created = false;
        ~Closer() {
            {
                std::lock_guard<std::mutex> guard(channel.lock_);
                channel.streamOwner_.reset();
            }
            if (!created) return;
            auto held = channel.stream_.hold();
            channel.stream_.stream_close();
        }
    } closer{*this};
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (session->endRequested) return;
        streamOwner_ = session;
    }
    std::vector<std::wstring> files;
    if (!request.gongPath.empty()) files.push_back(request.gongPath);
    if (!request.microphone) files.push_back(request.messagePath);
    {
        auto held = stream_.hold();
        stream_.set_files(files);
        stream_.set_read_mode(request.microphone ? mp3streamf::microphone : mp3streamf::files);
        stream_.set_microphone_name(pref::getWString(setting::recordDeviceName));
        stream_.set_record_path(request.recordPath);
        closer.created = true;
        if (!stream_.stream_create()) {
            place.error(L"Не удалось запустить поток оповещения '%1%'", request.description);
            return;
        }
    }
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] { return session->endRequested; });
}

void AlarmChannel::onStreamEnd(bool ok) {
    std::lock_guard<std::mutex> guard(lock_);
    if (streamOwner_) requestEnd(streamOwner_, ok ? finished : interrupted);
}

void AlarmChannel::watch() {
    pthread_setname_np(pthread_self(), "alarm watcher");
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        SessionPtr next;
        changed_.wait(guard, [&] {
            for (const SessionPtr& session : sessions_)
                if (session->endRequested && !session->ending) {
                    next = session;
                    break;
                }
            return next || (closing_ && sessions_.empty());
        });
        if (!next) return;
        next->ending = true;
        guard.unlock();
        endSession(next);
        guard.lock();
    }
}

void AlarmChannel::endSession(const SessionPtr& session) {
    const debug::Place place("frm::AlarmChannel::endSession");
    // The loudspeakers go back while the broadcast thread closes the stream.
    try {
        AlarmDevices::tellGivenBack(devices_.release(session->id));
    } catch (const std::exception& error) {
        place.error(L"Ошибка при завершении оповещения '%1%': %2%", session->request.description,
                    exception::textOf(error));
    }
    if (session->thread.joinable()) session->thread.join();
    NoticeListener listener;
    Notice notice = interrupted;
    {
        std::lock_guard<std::mutex> guard(lock_);
        sessions_.remove(session);
        notice = session->notice;
        if (!listenersMuted_) listener = session->request.listener;
        changed_.notify_all();
    }
    place.info(L"Оповещение '%1%' завершено (%2%)", session->request.description, noticeName(notice));
    if (!listener) return;
    try {
        listener(notice);
    } catch (const std::exception& error) {
        place.error(L"Ошибка обработчика оповещения: %1%", exception::textOf(error));
    }
}

bool AlarmChannel::isBusy() const {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!sessions_.empty()) return true;
    }
    return stream_.is_stream();
}

std::wstring AlarmChannel::getDescription() const {
    std::lock_guard<std::mutex> guard(lock_);
    return active_ ? active_->request.description : std::wstring();
}

int AlarmChannel::getPriority() const {
    std::lock_guard<std::mutex> guard(lock_);
    return active_ ? active_->request.priority : 0;
}

std::vector<std::wstring> AlarmChannel::getGongList() {
    return getGongList(audio::gongFolder());
}

std::vector<std::wstring> AlarmChannel::getGongList(const std::wstring& folder) {
    const std::wstring filter = PlayerEngine::getFileFilter(true);
    // Without a loaded plug-in nothing plays.
    if (filter.empty()) return {};
    std::vector<std::wstring> gongs = base::listFiles(false, folder, filter);
    gongs.erase(std::remove_if(gongs.begin(), gongs.end(),
                               [](const std::wstring& path) { return !audio::canDecodeMp3File(path); }),
                gongs.end());
    return gongs;
}

bool AlarmChannel::restoreCommonChannelForAllDevices() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (active_ && !active_->loudspeakers.empty()) {
            debug::Place("frm::AlarmChannel::restoreCommonChannelForAllDevices")
                .warn(L"На устройствах идёт приоритетное оповещение.");
            return false;
        }
    }
    if (registry_) devices_.switchToCommon(registry_->getVokars(true));
    return true;
}

void AlarmChannel::stop(const std::wstring& reason) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!active_) return;
    debug::Place("frm::AlarmChannel::stop")
        .info(L"Оповещение '%1%' остановлено. %2%", active_->request.description, reason);
    requestEnd(active_, stopped);
}

void AlarmChannel::close() {
    std::unique_lock<std::mutex> guard(lock_);
    closing_ = true;
    listenersMuted_ = true;
    for (const SessionPtr& session : sessions_) requestEnd(session, stopped);
    changed_.notify_all();
    changed_.wait(guard, [this] { return sessions_.empty(); });
}

}  // namespace frm
