#include "support/ProcessThreads.h"

#include <sys/syscall.h>

#include <filesystem>
#include <sstream>

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

bool blockedInPoll(const std::string& thread) {
    // The number of the system call the thread is blocked in; "running" when it runs.
    std::istringstream call(readWholeFile("/proc/self/task/" + thread + "/syscall"));
    long number = -1;
    call >> number;
    return number == SYS_poll || number == SYS_ppoll;
}

}  // namespace test
