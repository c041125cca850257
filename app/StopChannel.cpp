#include "app/StopChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "app/StopSignals.h"
#include "foundation/Clock.h"
#include "foundation/LogThrottle.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace app {
namespace {

constexpr char kRequest[] = "stop\n";
constexpr char kAnswer[] = "ok\n";
constexpr char kStopped[] = "stopped\n";
constexpr char kStoppedUnsaved[] = "stopped unsaved\n";
// What an asking copy waits for each line of the exchange, the end of the stop aside.
constexpr int kExchangeTimeoutMs = 2000;
// What a connected copy has to send its request in: it is sent at once.
constexpr auto kRequestDeadline = std::chrono::milliseconds(1000);
// Requests read side by side; a newer connection takes the place of the oldest.
constexpr std::size_t kMostPending = 8;
// Copies that wait for the end; more are answered but not told of the end.
constexpr std::size_t kMostWaiting = 16;
// The peer of a connection that could not be told.
constexpr std::uint64_t kUnknownPeer = ~std::uint64_t{0};

// The socket's name through the folder's descriptor, so that the address fits the few bytes a
// socket address holds however long the data folder's path is.
sockaddr_un addressIn(int folderFd) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path =
        "/proc/self/fd/" + std::to_string(folderFd) + "/" + base::toUtf8(StopChannel::kFileName);
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

int openFolder(const std::wstring& folder) {
    return ::open(base::toUtf8(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

bool waitFor(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    int result;
    do {
        result = ::poll(&entry, 1, timeoutMs);
    } while (result < 0 && errno == EINTR);
    return result > 0 && (entry.revents & events) != 0;
}

// Reads one line that arrives within the time-out, at most `size` bytes.
std::string readLine(int fd, std::size_t size, int timeoutMs) {
    std::string text;
    char buffer[16];
    while (text.size() < size && waitFor(fd, POLLIN, timeoutMs)) {
        const ssize_t count = ::read(fd, buffer, std::min(sizeof buffer, size - text.size()));
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
        if (text.back() == '\n') break;
    }
    return text;
}

// Sends the whole short text without waiting; false when it did not go whole.
bool sendNow(int fd, const char* text) {
    const std::size_t length = std::strlen(text);
    return ::send(fd, text, length, MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(length);
}

std::optional<uid_t> peerUser(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

base::LogThrottle& refusedPeers() {
    static base::LogThrottle throttle;
    return throttle;
}

void writeAll(int fd, const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0 && waitFor(fd, POLLOUT, kExchangeTimeoutMs)) {
        const ssize_t count = ::send(fd, text, left, MSG_NOSIGNAL);
        if (count <= 0) return;
        text += count;
        left -= static_cast<std::size_t>(count);
    }
}

}  // namespace

struct StopChannel::Client {
    int fd;
    std::string request;
    std::chrono::steady_clock::time_point deadline;
};

StopChannel::StopChannel(const std::vector<std::wstring>& folders, std::function<void()> onStop, int signalFd,
                         uid_t owner)
    : onStop_(std::move(onStop)), signalFd_(signalFd), owner_(owner) {
    const debug::Place place("app::StopChannel::StopChannel");
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int failure = ENOENT;
    for (const std::wstring& folder : folders) {
        if (listenIn(folder)) break;
        failure = errno;
    }
    if (listenFd_ < 0) place.error(L"Канал остановки программы не создан: %1%", os::errorText(failure));
    if (wakeFd_ < 0) {
        place.error(L"Поток внешней остановки не запущен: %1%", os::errorText(errno));
        return;
    }
    thread_ = std::thread([this] { run(); });
}

bool StopChannel::listenIn(const std::wstring& folder) {
    const std::string name = base::toUtf8(kFileName);
    folderFd_ = openFolder(folder);
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = addressIn(folderFd_);
    // A file of that name can only be left by a copy that crashed: this copy holds the running mark.
    if (folderFd_ >= 0) ::unlinkat(folderFd_, name.c_str(), 0);
    // The file is made with the umask's mode and then made the owner's alone; a peer of another
    // user that connects in between is refused by its credentials.
    const bool bound = folderFd_ >= 0 && listenFd_ >= 0 &&
                       ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (bound && ::fchmodat(folderFd_, name.c_str(), S_IRUSR | S_IWUSR, 0) == 0 &&
        ::listen(listenFd_, static_cast<int>(kMostPending)) == 0)
        return true;
    const int failure = errno;
    if (bound) ::unlinkat(folderFd_, name.c_str(), 0);
    if (listenFd_ >= 0) ::close(listenFd_);
    if (folderFd_ >= 0) ::close(folderFd_);
    listenFd_ = folderFd_ = -1;
    errno = failure;
    return false;
}

StopChannel::~StopChannel() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) < 0) {
            // The thread then sleeps until the next request; nothing else can wake it.
        }
        thread_.join();
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlinkat(folderFd_, base::toUtf8(kFileName).c_str(), 0);
    }
    for (const int client : waiting_) {
        sendNow(client, stateSaved_ ? kStopped : kStoppedUnsaved);
        ::close(client);
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (folderFd_ >= 0) ::close(folderFd_);
}

void StopChannel::run() {
    const debug::Place place("app::StopChannel::run");
    place.trace(L"start thread of the external stop");
    std::vector<Client> clients;
    for (;;) {
        // A negative descriptor (no socket, no signals) is passed over by poll.
        std::vector<pollfd> entries = {{wakeFd_, POLLIN, 0}, {signalFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        auto nextDeadline = std::chrono::steady_clock::time_point::max();
        for (const Client& client : clients) {
            entries.push_back({client.fd, POLLIN, 0});
            nextDeadline = std::min(nextDeadline, client.deadline);
        }
        int timeoutMs = -1;
        if (!clients.empty()) {
            const auto left = nextDeadline - base::clock::steadyNow();
            timeoutMs = static_cast<int>(
                std::max<std::int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        }
        if (::poll(entries.data(), entries.size(), timeoutMs) < 0) {
            if (errno == EINTR) continue;
            place.error(L"poll: %1%", os::errorText(errno));
            break;
        }
        if (entries[0].revents != 0) break;
        if (entries[1].revents != 0) takeSignal();
        const auto now = base::clock::steadyNow();
        std::vector<Client> pending;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& client = clients[i];
            const bool goOn = entries[3 + i].revents == 0 ? now < client.deadline : read(client);
            if (goOn) {
                pending.push_back(std::move(client));
            } else if (client.fd >= 0) {
                ::close(client.fd);
            }
        }
        clients = std::move(pending);
        if (entries[2].revents != 0) accept(clients);
    }
    for (const Client& client : clients) ::close(client.fd);
    place.trace(L"end thread of the external stop");
}

void StopChannel::takeSignal() {
    const int signal = StopSignals::take();
    if (signal == 0) return;
    debug::Place("app::StopChannel::run")
        .important(L"The program stops on the %1% (%2%) it received", StopSignals::name(signal), signal);
    onStop_();
}

void StopChannel::accept(std::vector<Client>& clients) {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        const std::optional<uid_t> peer = peerUser(fd);
        if (!peer || *peer != owner_) {
            std::uint64_t skipped = 0;
            if (refusedPeers().pass(peer ? *peer : kUnknownPeer, skipped)) {
                debug::Place("app::StopChannel::run")
                    .important(L"A stop request of another user (%1%) was refused; refused before it: %2%",
                               peer ? std::to_string(*peer) : std::string("unknown"), skipped);
            }
            ::close(fd);
            continue;
        }
        if (clients.size() >= kMostPending) {
            ::close(clients.front().fd);
            clients.erase(clients.begin());
        }
        clients.push_back({fd, std::string(), base::clock::steadyNow() + kRequestDeadline});
    }
}

bool StopChannel::read(Client& client) {
    char buffer[sizeof kRequest];
    const std::size_t room = sizeof kRequest - 1 - client.request.size();
    const ssize_t count = ::recv(client.fd, buffer, room, MSG_DONTWAIT);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
    if (count <= 0) return false;
    client.request.append(buffer, static_cast<std::size_t>(count));
    if (client.request.size() < sizeof kRequest - 1 && client.request.back() != '\n') return true;
    if (client.request != kRequest || !sendNow(client.fd, kAnswer)) return false;
    debug::Place("app::StopChannel::run").important(L"A stop request came from another copy of the program");
    if (waiting_.size() < kMostWaiting) {
        waiting_.push_back(client.fd);
    } else {
        ::close(client.fd);
    }
    client.fd = -1;
    onStop_();
    return false;
}

StopChannel::Answer StopChannel::requestStop(const std::vector<std::wstring>& folders,
                                             std::chrono::milliseconds deadline, uid_t owner) {
    for (const std::wstring& folder : folders) {
        const int folderFd = openFolder(folder);
        if (folderFd < 0) continue;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = addressIn(folderFd);
        const bool connected =
            fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(folderFd);
        Answer answer = Answer::noAnswer;
        if (connected && peerUser(fd) != owner) {
            answer = Answer::otherUser;
        } else if (connected) {
            writeAll(fd, kRequest);
            if (readLine(fd, sizeof kAnswer - 1, kExchangeTimeoutMs) == kAnswer) {
                const std::string end =
                    readLine(fd, sizeof kStoppedUnsaved - 1, static_cast<int>(deadline.count()));
                answer = end == kStopped          ? Answer::stopped
                         : end == kStoppedUnsaved ? Answer::stoppedUnsaved
                                                  : Answer::notConfirmed;
            }
        }
        if (fd >= 0) ::close(fd);
        if (connected) return answer;
    }
    return Answer::noListener;
}

void StopChannel::forgetRefusedPeers() {
    refusedPeers().forget();
}

}  // namespace app
