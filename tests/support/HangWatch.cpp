#include "support/HangWatch.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace test {
namespace {

void printEveryStack() {
    // Lets the debugger attach where the kernel restricts tracing to descendants.
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    const std::string pid = std::to_string(getpid());
    const pid_t child = fork();
    if (child == 0) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execlp("gdb", "gdb", "-p", pid.c_str(), "-batch", "-nx", "-ex", "thread apply all bt 30",
               static_cast<char*>(nullptr));
        std::fputs("(gdb is not installed: no stacks)\n", stderr);
        _exit(127);
    }
    if (child > 0) waitpid(child, nullptr, 0);
}

constexpr std::chrono::seconds kEndDeadline{60};

class Watch : public ::testing::EmptyTestEventListener {
public:
    explicit Watch(std::chrono::seconds deadline) : deadline_(deadline), thread_([this] { run(); }) {}

    ~Watch() override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopped_ = true;
            wake_.notify_all();
        }
        thread_.join();
    }

    void OnTestStart(const ::testing::TestInfo& info) override {
        std::lock_guard<std::mutex> guard(lock_);
        name_ = std::string(info.test_suite_name()) + "." + info.name();
        end_ = std::chrono::steady_clock::now() + deadline_;
        wake_.notify_all();
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard<std::mutex> guard(lock_);
        end_.reset();
    }

    // From the environments' tear-down to the program's end (the toolkit's clean-up, the static
    // destructors, the leak check) a watch of its own runs, which the program's exit ends.
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest&) override {
        const std::chrono::seconds deadline = std::min(deadline_, kEndDeadline);
        std::thread([deadline] {
            std::this_thread::sleep_for(deadline);
            std::fprintf(stderr,
                         "\nThe test program has not ended %lld s after its tests; the stacks of every "
                         "thread:\n",
                         static_cast<long long>(deadline.count()));
            printEveryStack();
            std::abort();
        }).detach();
    }

private:
    void run() {
        std::unique_lock<std::mutex> guard(lock_);
        while (!stopped_) {
            if (!end_) {
                wake_.wait(guard);
                continue;
            }
            if (std::chrono::steady_clock::now() < *end_) {
                wake_.wait_until(guard, *end_);
                continue;
            }
            std::fprintf(stderr, "\n%s still runs after %lld s; the stacks of every thread:\n", name_.c_str(),
                         static_cast<long long>(deadline_.count()));
            printEveryStack();
            std::abort();
        }
    }

    const std::chrono::seconds deadline_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::optional<std::chrono::steady_clock::time_point> end_;
    std::string name_;
    bool stopped_ = false;
    std::thread thread_;
};

}  // namespace

void watchForHangs(std::chrono::seconds deadline) {
    if (const char* seconds = std::getenv("MELVOX_HANG_SECONDS"))
        deadline = std::chrono::seconds(std::atoi(seconds));
    // The listener list owns the watch and keeps it to the end of the program.
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watch(deadline));
}

}  // namespace test
