#pragma once
// Child processes, started safely from a process with many threads (posix_spawn: no code of ours
// runs between the fork and the exec), their output read and their end awaited without a clock:
// the helper programs that run for a moment and the ones that run as long as we want.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace os {

// The standard streams of a child: a descriptor of ours each, or -1 for /dev/null.
struct ChildStreams {
    int input = -1;
    int output = -1;
    int errors = -1;
};

// Starts the program (`arguments[0]` is its path; a name without '/' is looked up in PATH) with
// default signal handling, no signal blocked and no descriptor of ours but `streams`. Returns 0,
// with `child` set, or the errno value.
int startChildProgram(const std::vector<std::string>& arguments, const ChildStreams& streams, pid_t& child);

// Reads a child's output from `output`, keeping its first `most` bytes in `text`, until
// `enough(text)` holds, the output ends or cannot be read, or it has stayed silent for `silence`
// in all; what is left of `silence` is written back. Counted in rounds of poll timeouts rather than
// read from a clock, so that a test that stops the program's clock cannot make it endless.
void readChildOutput(int output, std::string& text, std::size_t most, std::chrono::milliseconds& silence,
                     const std::function<bool(const std::string&)>& enough = {});

// Waits up to `limit` (in the same rounds) for the child to end; true once it has. `status` as
// waitpid gives it, when wanted.
bool awaitChildEnd(pid_t child, std::chrono::milliseconds limit, int* status = nullptr);

// Kills the child and collects it.
void killChild(pid_t child, int* status = nullptr);

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

// Runs a short-lived helper program with no input, its standard output read (up to a few
// kilobytes) and its errors dropped; kills it when it has not ended within `limit`.
ChildRun runChildProgram(const std::vector<std::string>& arguments, std::chrono::milliseconds limit);

}  // namespace os
