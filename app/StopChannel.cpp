#include "app/StopChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/StopSignals.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace app {
namespace {

constexpr char kRequest[] = "stop\n";
constexpr char kAnswer[] = "ok\n";
constexpr char kStopped[] = "stopped\n";
constexpr int kExchangeTimeoutMs = 2000;

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

StopChannel::StopChannel(const std::wstring& folder, std::function<void()> onStop, int signalFd)
    : onStop_(std::move(onStop)), signalFd_(signalFd) {
    const debug::Place place("app::StopChannel::StopChannel");
    folderFd_ = openFolder(folder);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = addressIn(folderFd_);
    // A file of that name can only be left by a copy that crashed: this copy holds the running mark.
    if (folderFd_ >= 0) ::unlinkat(folderFd_, base::toUtf8(kFileName).c_str(), 0);
    if (folderFd_ < 0 || listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 4) != 0) {
        place.error(L"Канал остановки программы не создан: %1%", os::errorText(errno));
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
    }
    if (wakeFd_ < 0) {
        place.error(L"Поток внешней остановки не запущен: %1%", os::errorText(errno));
        return;
    }
    thread_ = std::thread([this] { run(); });
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
        writeAll(client, kStopped);
        ::close(client);
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (folderFd_ >= 0) ::close(folderFd_);
}

void StopChannel::run() {
    const debug::Place place("app::StopChannel::run");
    place.trace(L"start thread of the external stop");
    for (;;) {
        // A negative descriptor (no socket, no signals) is passed over by poll.
        pollfd entries[3] = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {signalFd_, POLLIN, 0}};
        if (::poll(entries, 3, -1) < 0) {
            if (errno == EINTR) continue;
            place.error(L"poll: %1%", os::errorText(errno));
            break;
        }
        if (entries[0].revents != 0) break;
        if (entries[2].revents != 0) {
            const int signal = StopSignals::take();
            if (signal != 0) {
                place.important(L"The program stops on the %1% (%2%) it received", StopSignals::name(signal),
                                signal);
                onStop_();
            }
        }
        if (entries[1].revents == 0) continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) continue;
        const bool stop = readLine(client, sizeof kRequest - 1, kExchangeTimeoutMs) == kRequest;
        if (stop) writeAll(client, kAnswer);
        if (!stop) {
            ::close(client);
            continue;
        }
        waiting_.push_back(client);
        place.important(L"A stop request came from another copy of the program");
        onStop_();
    }
    place.trace(L"end thread of the external stop");
}

StopChannel::Answer StopChannel::requestStop(const std::wstring& folder, std::chrono::milliseconds deadline) {
    const int folderFd = openFolder(folder);
    if (folderFd < 0) return Answer::noListener;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressIn(folderFd);
    Answer answer = Answer::noListener;
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        writeAll(fd, kRequest);
        answer = Answer::noAnswer;
        if (readLine(fd, sizeof kAnswer - 1, kExchangeTimeoutMs) == kAnswer) {
            answer = readLine(fd, sizeof kStopped - 1, static_cast<int>(deadline.count())) == kStopped
                         ? Answer::stopped
                         : Answer::notConfirmed;
        }
    }
    if (fd >= 0) ::close(fd);
    ::close(folderFd);
    return answer;
}

}  // namespace app
