#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <boost/thread/thread.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/SystemServices.h"
#include "foundation/TextConversion.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// ---- Threads.

// Threads wait on it until the test lets them end.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
};

std::vector<unsigned long> parseThreadList(const std::wstring& list) {
    std::vector<unsigned long> ids;
    std::wstringstream stream(list);
    std::wstring token;
    while (std::getline(stream, token, L',')) {
        EXPECT_FALSE(token.empty());
        EXPECT_NE(token[0], L'0') << "leading zero in " << base::toUtf8(token);
        EXPECT_EQ(token.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << base::toUtf8(token);
        ids.push_back(std::stoul(token, nullptr, 16));
    }
    return ids;
}

TEST(ThreadList, ListsTheThreadsOfThisProcessWhileTheyRun) {
    Gate gate;
    std::vector<std::promise<pid_t>> started(2);
    std::vector<std::thread> threads;
    for (auto& promise : started) {
        threads.emplace_back([opened = gate.opened, &promise] {
            promise.set_value(gettid());
            opened.wait();
        });
    }
    std::vector<unsigned long> ids;
    for (auto& promise : started) ids.push_back(static_cast<unsigned long>(promise.get_future().get()));

    const std::wstring list = os::getThreadList();
    EXPECT_NE(list.back(), L',');
    const std::vector<unsigned long> listed = parseThreadList(list);
    const std::set<unsigned long> unique(listed.begin(), listed.end());
    EXPECT_EQ(unique.size(), listed.size()) << base::toUtf8(list);
    EXPECT_TRUE(unique.count(static_cast<unsigned long>(getpid()))) << base::toUtf8(list);
    for (unsigned long id : ids) EXPECT_TRUE(unique.count(id)) << id << " in " << base::toUtf8(list);

    gate.open.set_value();
    for (std::thread& thread : threads) thread.join();
    // The kernel lets go of a joined thread's entry a moment after the join.
    const auto stillListed = [&ids] {
        const std::vector<unsigned long> listed = parseThreadList(os::getThreadList());
        return std::any_of(ids.begin(), ids.end(), [&listed](unsigned long id) {
            return std::find(listed.begin(), listed.end(), id) != listed.end();
        });
    };
    EXPECT_TRUE(test::waitFor([&] { return !stillListed(); }));
}

// ---- Thread priority.

int niceOf(pid_t thread) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    EXPECT_EQ(errno, 0);
    return nice;
}

template <class Thread>
void expectRaisedOrRefusal() {
    test::LogCapture capture;
    Gate gate;
    std::promise<pid_t> started;
    Thread thread([opened = gate.opened, &started] {
        started.set_value(gettid());
        opened.wait();
    });
    const pid_t id = started.get_future().get();
    const int normal = niceOf(getpid());
    ASSERT_EQ(niceOf(id), normal);

    os::setThreadPriority(thread);
    const int after = niceOf(id);
    gate.open.set_value();
    thread.join();

    EXPECT_TRUE(capture.contains(L"set thread priority", L"TRACE"));
    if (capture.contains(L"Приоритет не установлен. (")) {
        EXPECT_EQ(after, normal);
    } else {
        EXPECT_EQ(after, std::max(normal - 1, -20));
    }
}

TEST(ThreadPriority, RaisesAThreadOneStepOrLogsTheRefusal) {
    expectRaisedOrRefusal<std::thread>();
    expectRaisedOrRefusal<boost::thread>();
}

// ---- Keeping the machine awake.

class SearchPath {
public:
    explicit SearchPath(const std::string& path) {
        if (const char* old = std::getenv("PATH")) old_ = old;
        setenv("PATH", path.c_str(), 1);
    }
    ~SearchPath() { setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

void writeScript(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_all);
}

pid_t inhibitorProcess(test::LogCapture& capture) {
    const std::vector<test::LogLine> held =
        capture.find(L"System sleep is held off (inhibitor process ", L"INFO");
    if (held.size() != 1) return -1;
    const std::wstring& text = held[0].message;
    const std::size_t number = text.rfind(L' ') + 1;
    return static_cast<pid_t>(std::stol(text.substr(number)));
}

TEST(KeepSystemAwake, HoldsAnInhibitorUntilWithdrawn) {
    test::TempFolder bin;
    const std::string arguments = bin.file("arguments");
    // Stands in for the desktop session's inhibitor: notes its arguments, runs the command.
    writeScript(
        bin.file("systemd-inhibit"),
        "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + arguments +
            "'\nwhile [ $# -gt 0 ]; do case \"$1\" in --*) shift ;; *) break ;; esac; done\nexec \"$@\"\n");
    SearchPath path(bin.path() + ":" + std::string(std::getenv("PATH")));
    test::LogCapture capture;

    os::keepSystemAwake(true);
    const pid_t process = inhibitorProcess(capture);
    ASSERT_GT(process, 0);
    EXPECT_EQ(kill(process, 0), 0);
    const std::string given = test::readWholeFile(arguments);
    EXPECT_NE(given.find("--what=sleep:idle\n"), std::string::npos) << given;
    EXPECT_NE(given.find("--mode=block\n"), std::string::npos) << given;

    os::keepSystemAwake(true);
    EXPECT_EQ(capture.find(L"System sleep is held off (", L"INFO").size(), 1u);

    os::keepSystemAwake(false);
    EXPECT_TRUE(capture.contains(L"System sleep is allowed again", L"INFO"));
    EXPECT_EQ(kill(process, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(KeepSystemAwake, GoesOnWithoutAnInhibitor) {
    // A refusing inhibitor, and none at all.
    const std::pair<const char*, const wchar_t*> cases[] = {
        {"#!/bin/sh\necho 'Failed to inhibit: no session bus' >&2\nexit 1\n",
         L"System sleep cannot be held off: Failed to inhibit: no session bus"},
        {nullptr, L"System sleep cannot be held off: systemd-inhibit cannot be started ("},
    };
    for (const auto& [script, reason] : cases) {
        SCOPED_TRACE(base::toUtf8(reason));
        test::TempFolder bin;
        if (script) writeScript(bin.file("systemd-inhibit"), script);
        SearchPath path(script ? bin.path() + ":" + std::getenv("PATH") : bin.path());
        test::LogCapture capture;
        EXPECT_NO_THROW(os::keepSystemAwake(true));
        EXPECT_TRUE(capture.contains(reason, L"INFO"));
        EXPECT_NO_THROW(os::keepSystemAwake(false));
        EXPECT_TRUE(capture.contains(L"System sleep was not held off", L"INFO"));
    }
}

// ---- Capture devices.

// The kernel's list of sound devices, one a line: "CC-DD: id : name : playback N : capture N".
std::vector<std::wstring> kernelCaptureNames() {
    std::vector<std::wstring> names;
    std::ifstream list("/proc/asound/pcm");
    std::string line;
    while (std::getline(list, line)) {
        if (line.find(": capture ") == std::string::npos) continue;
        std::vector<std::string> fields;
        std::size_t begin = 0;
        for (std::size_t end; (end = line.find(" : ", begin)) != std::string::npos; begin = end + 3) {
            fields.push_back(line.substr(begin, end - begin));
        }
        if (fields.size() >= 2) names.push_back(base::fromUtf8(fields[1]));
    }
    return names;
}

TEST(CaptureDevices, AreTheKernelsCaptureDevicesInItsOrder) {
    std::vector<os::CaptureDevice> devices;
    ASSERT_NO_THROW(devices = os::getAudioCaptureDevices());
    const std::vector<std::wstring> expected = kernelCaptureNames();
    ASSERT_EQ(devices.size(), expected.size());
    for (std::size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(devices[i].waveInId, static_cast<std::int32_t>(i));
        if (!expected[i].empty()) {
            EXPECT_EQ(devices[i].name, expected[i]);
        }
    }
}

}  // namespace
