#pragma once
// Emulated devices for tests. Each binds its own loopback address (127.0.0.2, ...) at
// the command port, answers commands from a table of handlers, keeps a log of what it
// received, and can be told to misbehave the ways real devices do. Device kinds
// (loudspeaker, console) derive from it, register their commands, keep the state that their
// commands change, and start serving once they are whole.

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/NetworkAddress.h"

namespace test {

// A UDP port that is free now on every address, for one test's base port.
std::uint16_t freeUdpPort();

class EmulatedDevice {
public:
    // The answer to one command; nullopt sends nothing.
    using Handler = std::function<std::optional<std::string>(const std::string& command)>;

    static constexpr const char* kBusyText = "Processing of the previous command isn't complete!";

    // A device that serves at once, answering only what `on` and `answer` register.
    EmulatedDevice(const std::string& ip, std::uint16_t port);
    virtual ~EmulatedDevice();
    EmulatedDevice(const EmulatedDevice&) = delete;
    EmulatedDevice& operator=(const EmulatedDevice&) = delete;

    // The handler of the longest registered prefix of a command answers it (the command
    // arrives without its line feed). A command that no prefix matches gets no answer.
    void on(const std::string& prefix, Handler handler);
    void answer(const std::string& prefix, const std::string& reply);

    // Misbehaviour, each until changed.
    void setSilent(bool silent);                     // receive, never answer
    void dropNext(int count);                        // the next `count` commands get no answer
    void setDelay(std::chrono::milliseconds delay);  // answer late
    void answerFromPort(std::uint16_t port);         // answer from another socket (0: the command socket)
    void answerBusy(int count);                      // the next `count` commands get the busy text
    void answerErrorNext(int count);                 // the next `count` commands get "ERR"
    void loseRepliesNext(int count);                 // the next `count` commands are done, unanswered
    // From holdReplies on, every answer to a command that starts with `prefix` is kept, in order,
    // until releaseReplies sends them all; a resent command is answered again. Held answers are
    // made when their command comes.
    void holdReplies(const std::string& prefix = "");
    void releaseReplies();
    // Waits until at least `count` answers are held; false after the deadline.
    bool waitForHeld(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(30)) const;

    // How long the device stays silent after a restart; every command it gets meanwhile is
    // logged and left unanswered.
    void setRebootPause(std::chrono::milliseconds pause);
    bool isRebooting() const;
    int rebootCount() const;

    enum class Fault { silence, error, busy, echo };
    // Of the commands that start with `prefix`, the first `skip` pass and the `count` after them
    // get `fault`: no answer, the device's error reply (or `text` in its place, when given: any
    // reply that is no success answer), its busy text or the command itself. A resent command
    // counts again.
    void faultOn(const std::string& prefix, std::size_t skip, Fault fault, int count = 1,
                 const std::string& text = "");

    // Called with each command as it comes, on the device's own thread, before anything else is
    // done with it: the moment a command reaches the device (nullptr: none).
    void onArrival(std::function<void(const std::string& command)> arrival);

    // Sends a datagram from the command socket (status packets, unsolicited replies).
    void send(const std::string& data, const net::IpAndPort& to);

    // The commands received so far, without their line feeds.
    std::vector<std::string> received() const;
    std::size_t receivedCount() const;
    // Waits until at least `count` commands came; false after the deadline.
    bool waitForReceived(std::size_t count,
                         std::chrono::milliseconds deadline = std::chrono::seconds(30)) const;
    void clearReceived();

    const std::string& ip() const { return ip_; }
    std::uint16_t port() const { return port_; }
    net::IpAndPort address() const { return net::IpAndPort(ip_, port_); }

protected:
    struct DeferredStart {};
    // For a device kind, which calls startServing() last in its constructor: a command that came
    // while the kind was still being built would reach its handlers half made.
    EmulatedDevice(const std::string& ip, std::uint16_t port, DeferredStart);
    // Starts the serving thread; calling it again does nothing.
    void startServing();

    // The answer of the command table, or nullopt; kinds may override to add state.
    virtual std::optional<std::string> handle(const std::string& command);
    // Starts a restart; a kind's "reboot" handler calls it before it answers.
    void beginReboot();
    // Ends the serving thread; a kind that overrides handle() or keeps state its handlers use
    // calls it first in its destructor, before that state goes. Calling it again does nothing.
    void stopServing();

private:
    void serve();
    void replyTo(const std::string& reply, const sockaddr_in& to);

    const std::string ip_;
    const std::uint16_t port_;
    int socket_ = -1;
    int otherSocket_ = -1;
    int wakeFd_ = -1;
    std::thread thread_;

    mutable std::mutex lock_;
    mutable std::condition_variable receivedSignal_;
    std::vector<std::string> received_;
    std::map<std::string, Handler> handlers_;
    std::function<void(const std::string&)> arrival_;
    bool silent_ = false;
    int dropCount_ = 0;
    int busyCount_ = 0;
    int errorCount_ = 0;
    struct FaultRule {
        std::string prefix;
        std::size_t skip;
        Fault fault;
        int count;
        std::string text;
    };
    std::vector<FaultRule> faults_;
    int loseCount_ = 0;
    std::chrono::milliseconds delay_{0};
    std::optional<std::string> holdPrefix_;
    std::vector<std::pair<std::string, sockaddr_in>> held_;
    std::uint16_t answerPort_ = 0;
    std::chrono::milliseconds rebootPause_{1500};
    std::chrono::steady_clock::time_point rebootEnds_{};
    int rebootCount_ = 0;
};

}  // namespace test
