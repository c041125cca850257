#pragma once
// The priority channel: alarm and service messages and the live microphone on the priority
// stream (the base port plus two). A broadcast takes its loudspeakers (switched to the alarm
// channel at its volume, the levels they had read first), plays the gong and then the message
// file or the microphone, records the microphone when asked, and at its end gives the
// loudspeakers back and tells its listener why it ended. A launch at or below the priority that is
// broadcasting is refused; a higher one takes over, keeping the loudspeakers that both use on the alarm
// channel.
//
// Each broadcast runs on a broadcast thread of its own: it takes the loudspeakers and runs the
// stream until its end is asked for (the stream's end, stop, a higher priority, a failure, an
// exception on the thread). The watcher thread then ends it: the loudspeakers given back once
// while the broadcast thread closes the stream, then the listener told. Nothing here holds the
// caller for a device round trip.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/AlarmDevices.h"
#include "audio/PlaybackTargets.h"
#include "foundation/SingletonSlot.h"

class mp3streamf;

namespace device {
class DeviceCollection;
}

namespace frm {

class AlarmChannel {
public:
    // Why a broadcast ended, told to its listener after its loudspeakers were given back.
    enum Notice {
        // The message played to its end.
        finished = 3,
        // By stop.
        stopped = 4,
        // A higher priority took over, a file did not decode, the capture device failed or the
        // broadcast failed otherwise.
        interrupted = 5,
    };
    // Called on the watcher thread.
    using NoticeListener = std::function<void(Notice)>;

    // Selects the microphone overload of launch.
    struct MicrophoneTag {};
    static constexpr MicrophoneTag microphone{};

    // One broadcast with its own targets.
    struct Broadcast {
        int priority = 1;
        std::wstring description;
        // The message file; empty for the microphone.
        std::wstring messagePath;
        // Played first when not empty.
        std::wstring gongPath;
        bool microphone = false;
        // Where the microphone is recorded (MP3) when not empty.
        std::wstring recordPath;
        int volume = 100;
        NoticeListener listener;
        Targets targets;
    };

    // The stream outlives the channel; the registry may be null (no loudspeakers then). What the
    // broadcasts take and have not given back is kept in the file `journalPath` (none when empty),
    // written by `journalWriter`.
    AlarmChannel(mp3streamf& stream, std::shared_ptr<device::DeviceCollection> registry,
                 const std::wstring& journalPath = std::wstring(),
                 GiveBackJournal::Writer journalWriter = GiveBackJournal::writeFile);
    // Once the registry holds the device collection: what an earlier run left in the journal is
    // given back as its loudspeakers answer. A collection that could not be read drops no record:
    // each waits for its loudspeaker to come into the registry.
    void giveBackWhatALastRunLeft(bool collectionRead = true);
    // Ends the broadcasts without telling their listeners and gives the loudspeakers back.
    ~AlarmChannel();
    AlarmChannel(const AlarmChannel&) = delete;
    AlarmChannel& operator=(const AlarmChannel&) = delete;

    void setSelectionProvider(SelectionProvider provider);

    // The panels' launches, for the devices selected in the main window (read on the calling
    // thread, which must be the GUI thread). True when the broadcast started; refusals are logged.
    // The message file after the gong.
    bool launch(int priority, const std::wstring& description, const std::wstring& messagePath,
                const std::wstring& gongPath, int volume, NoticeListener listener);
    // The microphone after the gong, recorded into the record path when that is not empty.
    bool launch(MicrophoneTag, int priority, const std::wstring& description, const std::wstring& gongPath,
                const std::wstring& recordPath, int volume, NoticeListener listener);
    // Records the microphone alone: no devices, volume 100, the lowest priority. The listener,
    // when given, learns its end like a broadcast's (any broadcast takes a recording over).
    bool launch(const std::wstring& description, const std::wstring& recordPath,
                NoticeListener listener = nullptr);
    // A broadcast with its own targets (scheduled playbacks); callable from any thread.
    bool launch(const Broadcast& broadcast);

    // A broadcast runs or is being ended, or the messages stream runs.
    bool isBusy() const;
    // Of the broadcast running; empty and 0 when none runs.
    std::wstring getDescription() const;
    int getPriority() const;
    // The gong files of the gong folder that a loaded plug-in plays and the priority stream
    // decodes.
    // (The gong folder is `place.pathDirGong`, or the data folder's "gong".)
    static std::vector<std::wstring> getGongList();
    // The same of another folder (the one the settings dialog is about to choose).
    static std::vector<std::wstring> getGongList(const std::wstring& folder);

    // Refused (false) while a broadcast holds loudspeakers; otherwise every online and
    // responding loudspeaker that no broadcast holds goes to the common channel, off the
    // calling thread.
    bool restoreCommonChannelForAllDevices();
    // Ends the running broadcast; its listener is told `stopped` once its loudspeakers are back.
    // Returns at once.
    void stop(const std::wstring& reason = std::wstring());
    // Ends every broadcast and waits until their loudspeakers were given back (for shutdown,
    // while the transport still runs). Listeners are not told.
    void close();

    // The loudspeakers the broadcasts hold, with the levels they had; the player channel holds
    // those of a service message here too, so that whoever takes a loudspeaker last gives it
    // back as it was before the first.
    AlarmDevices& devices() { return devices_; }

    static base::SingletonSlot<AlarmChannel>& instanceSlot();

private:
    struct Session;
    using SessionPtr = std::shared_ptr<Session>;

    std::vector<AlarmDevices::Loudspeaker> loudspeakersOf(const Targets& targets) const;
    bool refuses(const Broadcast& broadcast) const;
    Targets selection() const;
    bool launchForSelection(Broadcast broadcast);
    // Under lock_.
    void requestEnd(const SessionPtr& session, Notice notice);
    void runBroadcast(const SessionPtr& session);
    void runStream(const SessionPtr& session);
    void watch();
    void endSession(const SessionPtr& session);
    void onStreamEnd(bool ok);

    mp3streamf& stream_;
    const std::shared_ptr<device::DeviceCollection> registry_;
    AlarmDevices devices_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    SelectionProvider selection_;
    // The broadcast whose priority counts; null while none runs.
    SessionPtr active_;
    // Every broadcast not yet ended, the active one among them.
    std::list<SessionPtr> sessions_;
    // The broadcast whose stream runs.
    SessionPtr streamOwner_;
    bool closing_ = false;
    bool listenersMuted_ = false;

    // Held by a broadcast thread from creating the stream to closing it.
    std::mutex streamLock_;
    std::thread watcher_;
};

}  // namespace frm
