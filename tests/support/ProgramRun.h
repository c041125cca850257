#pragma once
// One run of a program of this build as its own process, with its own environment.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test {

class ProgramRun {
public:
    // Starts `binary` with the arguments; `environment` adds to (or replaces in) this process's
    // environment. The sanitizers' leak and race checks pass over what the window toolkit's
    // libraries do. With `errorFile` the process's standard error and output go to that file.
    ProgramRun(const std::string& binary, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, const std::string& errorFile = {});
    // Kills the process when it still runs.
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    pid_t pid() const { return pid_; }
    // Waits for the end: the exit status, 128 + the signal for a killed process, nothing
    // after the deadline.
    std::optional<int> wait(std::chrono::milliseconds deadline = std::chrono::seconds(30));
    void kill(int signal);
    // Waits until the process has a handler of its own for the signal; false after the deadline.
    bool waitForHandlerOf(int signal, std::chrono::milliseconds deadline = std::chrono::seconds(30));
    // What the process wrote to its standard error and output so far, when they went to a file.
    std::string errorOutput() const;

private:
    const std::string binary_;
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string errorFile_;
};

}  // namespace test
