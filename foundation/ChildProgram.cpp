#include "foundation/ChildProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace os {
namespace {

constexpr std::size_t kMaxOutput = 4096;
// Waiting is counted in rounds of poll timeouts rather than read from a clock, so that a test
// that stops the program's clock cannot make the wait endless.
constexpr int kRoundMillis = 20;

int spawn(const std::vector<std::string>& arguments, int output, pid_t& child) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
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
    const int error = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

ChildRun runChildProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) {
    ChildRun run;
    if (arguments.empty()) {
        run.startError = EINVAL;
        return run;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        run.startError = errno;
        return run;
    }
    pid_t child = -1;
    run.startError = spawn(arguments, ends[1], child);
    ::close(ends[1]);
    if (run.startError != 0) {
        ::close(ends[0]);
        return run;
    }
    run.started = true;

    // Its output ends when it exits; then it is waited for, within the same limit.
    bool reading = true;
    bool ended = false;
    for (long rounds = limit.count() / kRoundMillis + 1; rounds > 0 && !ended;) {
        if (!reading) {
            const pid_t done = ::waitpid(child, &run.status, WNOHANG);
            ended = done == child || (done < 0 && errno != EINTR);
            if (!ended && done == 0) {
                ::poll(nullptr, 0, kRoundMillis);
                --rounds;
            }
            continue;
        }
        pollfd watch{ends[0], POLLIN, 0};
        const int ready = ::poll(&watch, 1, kRoundMillis);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            --rounds;
            continue;
        }
        char buffer[512];
        const ssize_t length = ::read(ends[0], buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) {
            reading = false;
        } else if (run.output.size() < kMaxOutput) {
            run.output.append(buffer, static_cast<std::size_t>(length));
        }
    }
    ::close(ends[0]);
    if (!ended) {
        run.timedOut = true;
        ::kill(child, SIGKILL);
        while (::waitpid(child, &run.status, 0) < 0 && errno == EINTR) {
        }
    }
    return run;
}

}  // namespace os
