#include "foundation/ChildProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

extern char** environ;

namespace os {
namespace {

constexpr std::size_t kMaxOutput = 4096;
constexpr std::chrono::milliseconds kRound(20);

void giveStream(posix_spawn_file_actions_t& actions, int ours, int stream, int nullMode) {
    if (ours >= 0) {
        posix_spawn_file_actions_adddup2(&actions, ours, stream);
    } else {
        posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", nullMode, 0);
    }
}

}  // namespace

int startChildProgram(const std::vector<std::string>& arguments, const ChildStreams& streams, pid_t& child) {
    if (arguments.empty()) return EINVAL;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    giveStream(actions, streams.input, STDIN_FILENO, O_RDONLY);
    giveStream(actions, streams.output, STDOUT_FILENO, O_WRONLY);
    giveStream(actions, streams.errors, STDERR_FILENO, O_WRONLY);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int error = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

void readChildOutput(int output, std::string& text, std::size_t most, std::chrono::milliseconds& silence,
                     const std::function<bool(const std::string&)>& enough) {
    while (silence > std::chrono::milliseconds::zero() && !(enough && enough(text))) {
        pollfd watch{output, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(kRound.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return;
        if (ready == 0) {
            silence -= kRound;
            continue;
        }
        char buffer[512];
        const ssize_t length = ::read(output, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) return;
        // Read on past `most`, so that a talkative child is not stopped at a full pipe.
        if (text.size() < most)
            text.append(buffer, std::min(static_cast<std::size_t>(length), most - text.size()));
    }
}

bool awaitChildEnd(pid_t child, std::chrono::milliseconds limit, int* status) {
    for (;; limit -= kRound) {
        const pid_t ended = ::waitpid(child, status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) return true;
        if (limit <= std::chrono::milliseconds::zero()) return false;
        ::poll(nullptr, 0, static_cast<int>(kRound.count()));
    }
}

void killChild(pid_t child, int* status) {
    ::kill(child, SIGKILL);
    while (::waitpid(child, status, 0) < 0 && errno == EINTR) {
    }
}

ChildRun runChildProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) {
    ChildRun run;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        run.startError = errno;
        return run;
    }
    pid_t child = -1;
    run.startError = startChildProgram(arguments, {-1, ends[1], -1}, child);
    ::close(ends[1]);
    if (run.startError != 0) {
        ::close(ends[0]);
        return run;
    }
    run.started = true;

    // Its output ends when it exits; then it is waited for, within what is left of the limit.
    std::chrono::milliseconds left = limit + kRound;
    readChildOutput(ends[0], run.output, kMaxOutput, left);
    ::close(ends[0]);
    if (left <= std::chrono::milliseconds::zero() || !awaitChildEnd(child, left, &run.status)) {
        run.timedOut = true;
        killChild(child, &run.status);
    }
    return run;
}

}  // namespace os
