#pragma once
// The external-stop thread and how a second start with --quit asks the running copy to shut down:
// a Unix-domain socket "MELVOX_STOP_APP" beside the running mark: in the data folder, or where
// that allows no socket (read-only), in the user's runtime folder. The running copy listens on it
// from the external-stop thread, which also watches the stop signals (StopSignals); a socket file
// left by a crash is replaced by the next copy (which holds the running mark, so no live copy owns
// it).
//
// The exchange: the asking copy sends "stop", the running copy answers "ok" at once and keeps the
// connection until it has written its files and ended its log, then writes "stopped", or
// "stopped unsaved" when its state could not be written. So the asking copy can tell a stop that
// finished from one that was only begun, and whether the run's changes were kept.
//
// Only the program's own user may stop it: the socket file is the owner's alone (mode 0600
// whatever the umask), and a connection whose peer is another user is closed unanswered. Nor does
// the asking copy believe a listener of another user (a folder that others may write to lets one
// put its socket there): it asks nothing of it. The thread waits for no one: a copy that connects
// gets a short deadline for its request, several are read side by side, and a signal is taken
// while any of them is pending.

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace app {

class StopChannel {
public:
    static constexpr const wchar_t* kFileName = L"MELVOX_STOP_APP";

    // Listens in the first of the folders that allows it and watches `signalFd` (when not -1);
    // `onStop` runs on the external-stop thread for every stop request and every signal. Failing to
    // listen is logged; the signals are still watched. Requests are taken from the user `owner` only.
    StopChannel(const std::vector<std::wstring>& folders, std::function<void()> onStop, int signalFd = -1,
                uid_t owner = ::geteuid());
    StopChannel(const std::wstring& folder, std::function<void()> onStop, int signalFd = -1,
                uid_t owner = ::geteuid())
        : StopChannel(std::vector<std::wstring>{folder}, std::move(onStop), signalFd, owner) {}
    // Wakes and joins the thread, removes the socket file and confirms the stop to every copy
    // that asked for it: the owner destroys the channel once everything is written.
    ~StopChannel();
    StopChannel(const StopChannel&) = delete;
    StopChannel& operator=(const StopChannel&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    // Whether the program could write its state as it stopped: what the copies that asked for the
    // stop are told when the channel ends.
    void tellStateSaved(bool saved) { stateSaved_ = saved; }
    // Every refused user is new again, so that its next refusal is logged at once (for tests: the
    // refusals of one user are logged about once a second, for the whole process).
    static void forgetRefusedPeers();

    // What a stop request came to.
    enum class Answer {
        noListener,      // no copy listens in the folder
        otherUser,       // a process of another user listens there: it is asked nothing
        noAnswer,        // a copy listens but did not take the request
        notConfirmed,    // it took the request but did not confirm the end within the deadline
        stopped,         // it confirmed that it stopped, with its state written
        stoppedUnsaved,  // it confirmed that it stopped, but its state could not be written
    };
    // Asks the copy listening in the first of the folders where one listens to stop and waits up
    // to `deadline` for its end. Only a listener of the user `owner` is asked.
    static Answer requestStop(const std::vector<std::wstring>& folders, std::chrono::milliseconds deadline,
                              uid_t owner = ::geteuid());
    static Answer requestStop(const std::wstring& folder, std::chrono::milliseconds deadline,
                              uid_t owner = ::geteuid()) {
        return requestStop(std::vector<std::wstring>{folder}, deadline, owner);
    }

private:
    struct Client;
    void run();
    // Takes the connections waiting to be accepted; those of another user are closed.
    void accept(std::vector<Client>& clients);
    // Reads what came of a request; false once the client is done with (answered or refused).
    bool read(Client& client);
    void takeSignal();
    // Binds the socket in the folder; false (errno set) when the folder allows it not.
    bool listenIn(const std::wstring& folder);

    std::function<void()> onStop_;
    const int signalFd_;
    const uid_t owner_;
    int folderFd_ = -1;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::thread thread_;
    bool stateSaved_ = true;
    // The connections of the copies that wait for the end of this one: the thread's until it is
    // joined.
    std::vector<int> waiting_;
};

}  // namespace app
