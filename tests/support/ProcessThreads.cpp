#include "support/ProcessThreads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "support/TempFolder.h"

namespace test {

std::set<std::string> threadsNamed(const std::string& name) {
    std::set<std::string> found;
    std::error_code error;
    // A thread that ends while the folder is read is left out.
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        if (readWholeFile(task.path().string() + "/comm") == name + "\n")
            found.insert(task.path().filename().string());
    }
    return found;
}

namespace {

// The number of the system call the thread is blocked in; -1 while it runs.
long blockingCall(const std::string& thread) {
    std::istringstream call(readWholeFile("/proc/self/task/" + thread + "/syscall"));
    long number = -1;
    call >> number;
    return number;
}

}  // namespace

bool blockedInPoll(const std::string& thread) {
    const long number = blockingCall(thread);
    return number == SYS_poll || number == SYS_ppoll;
}

bool blockedOnLock(const std::string& thread) {
    return blockingCall(thread) == SYS_futex;
}

std::string currentThread() {
    return std::to_string(syscall(SYS_gettid));
}

}  // namespace test
