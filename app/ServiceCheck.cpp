#include "app/ServiceCheck.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "foundation/Place.h"

extern char** environ;

namespace app {

bool isServiceActive(const std::string& unit, const std::string& systemdFolder,
                     const std::string& systemctl) {
    const debug::Place place("app::isServiceActive");
    std::error_code error;
    if (!std::filesystem::is_directory(systemdFolder, error)) {
        place.debug(L"No systemd: the service '%1%' is taken as not running", unit);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const char* arguments[] = {systemctl.c_str(), "is-active", "--quiet", unit.c_str(), nullptr};
    pid_t child = 0;
    const int spawned =
        posix_spawnp(&child, systemctl.c_str(), &actions, nullptr, const_cast<char**>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        place.debug(L"'%1%' cannot be run: the service '%2%' is taken as not running", systemctl, unit);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            place.debug(L"'%1%' did not answer about the service '%2%'", systemctl, unit);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool active = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    place.debug(L"The service '%1%' is %2%", unit, active ? "active" : "not active");
    return active;
}

}  // namespace app
