#pragma once
// Running a short-lived helper program in a child process, safely from a process with many
// threads (posix_spawn: no code of ours runs between the fork and the exec), and reading what
// it writes on its standard output.

#include <chrono>
#include <string>
#include <vector>

namespace os {

struct ChildRun {
    // False when the program could not be started; `startError` then holds the errno value.
    bool started = false;
    int startError = 0;
    // It did not end within the limit and was killed.
    bool timedOut = false;
    // As waitpid gives it; -1 when it could not be had.
    int status = -1;
    // The start of its standard output.
    std::string output;
};

// Runs the program (`arguments[0]` is its path) with no input, with default signal handling and
// no signal blocked, its standard output read (up to a few kilobytes) and its errors dropped;
// kills it when it has not ended within `limit`.
ChildRun runChildProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds limit);

}  // namespace os
