#include "support/ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

extern char** environ;

namespace test {

ProgramRun::ProgramRun(const std::string& binary, const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& environment, const std::string& errorFile)
    : binary_(binary), errorFile_(errorFile) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr)
            variables[std::string(*entry, static_cast<std::size_t>(equals - *entry))] = equals + 1;
    }
    const auto addOption = [&](const char* name, const char* option) {
        std::string& options = variables[name];
        options += (options.empty() ? "" : ":") + std::string(option);
    };
    addOption("LSAN_OPTIONS", "suppressions=" MELVOX_TOOLKIT_LEAKS);
    addOption("TSAN_OPTIONS", "suppressions=" MELVOX_TOOLKIT_RACES);
    for (const auto& [name, value] : environment) variables[name] = value;

    std::vector<std::string> texts;
    for (const auto& [name, value] : variables) texts.push_back(name + "=" + value);
    std::vector<char*> environmentPointers;
    for (std::string& text : texts) environmentPointers.push_back(text.data());
    environmentPointers.push_back(nullptr);
    std::vector<std::string> argumentTexts{binary};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argumentPointers;
    for (std::string& text : argumentTexts) argumentPointers.push_back(text.data());
    argumentPointers.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        if (!errorFile.empty()) {
            const int fd = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || ::dup2(fd, STDERR_FILENO) < 0 || ::dup2(fd, STDOUT_FILENO) < 0) std::_Exit(126);
        }
        ::execve(binary.c_str(), argumentPointers.data(), environmentPointers.data());
        std::_Exit(127);
    }
}

ProgramRun::~ProgramRun() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::optional<int> ProgramRun::wait(std::chrono::milliseconds deadline) {
    if (status_ || pid_ <= 0) return status_;
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

std::string ProgramRun::errorOutput() const {
    std::ifstream file(errorFile_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool ProgramRun::waitForHandlerOf(int signal, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    const unsigned long long bit = 1ULL << (signal - 1);
    std::error_code error;
    const std::filesystem::path program = std::filesystem::canonical(binary_, error);
    do {
        // Until the program runs, the process is a copy of the test's, with the test's handlers.
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid_) + "/exe", error) != program) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        // "SigCgt:" in the process's status: the mask of the signals it catches, in hexadecimal.
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & bit) != 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

void ProgramRun::kill(int signal) {
    if (pid_ > 0 && !status_) ::kill(pid_, signal);
}

}  // namespace test
