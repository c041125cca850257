// Moving a recording under its title where nothing may be replaced, on one file system and
// across two (a tmpfs of a child process's own against the disk): a move killed at any point
// leaves no file under the title or the whole one, and the start-up clean-up takes the rest away.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "foundation/FileMove.h"
#include "foundation/Files.h"
#include "foundation/TextConversion.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kNoPrivateMounts = 99;
const std::string kTitle = "Запись.mp3";

std::string someBytes(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::mt19937 random(seed);
    for (char& byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The exit code of a move in a child: 10 for a taken name, 11 for another error, plus 1 when the
// source is still there.
int moveCode(const std::string& from, const std::string& to) {
    const std::error_code error = base::moveToNewFile(base::fromUtf8(from), base::fromUtf8(to));
    const int code = error == std::errc::file_exists ? 10 : error ? 11 : 0;
    return code + (fs::exists(from) ? 1 : 0);
}

// Runs `body` in a child process that sees a tmpfs of its own on `folder`, where the parent sees
// the folder as it is; `body` calls `ready` once its files are in place, and from then on
// `meanwhile` runs in the parent with the child's id. The child's wait status.
int inChildWithOwnTmpfs(const std::string& folder,
                        const std::function<int(const std::function<void()>&)>& body,
                        const std::function<void(pid_t)>& meanwhile = nullptr) {
    int ends[2];
    if (::pipe(ends) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        // Mounts made here must not reach the namespace the test runs in.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("melvox-test", folder.c_str(), "tmpfs", 0, "size=64m") != 0)
            ::_exit(kNoPrivateMounts);
        const int code = body([&] {
            const char byte = 1;
            static_cast<void>(::write(ends[1], &byte, 1));
        });
        ::_exit(code);
    }
    ::close(ends[1]);
    char byte = 0;
    const bool started = child > 0 && ::read(ends[0], &byte, 1) == 1;
    ::close(ends[0]);
    if (started && meanwhile) meanwhile(child);
    int status = -1;
    if (child > 0) ::waitpid(child, &status, 0);
    return status;
}

bool noPrivateMounts(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == kNoPrivateMounts;
}

class MoveToNewFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(sourceFolder_);
        fs::create_directories(targetFolder_);
    }
    // Nothing or the whole recording under its title, beside at most the hidden temporaries of
    // the killed move, which the start-up clean-up removes.
    void expectNothingOrTheWhole(const std::string& recording, const std::string& context) {
        for (const std::string& name : test::entryNames(targetFolder_)) {
            if (name == kTitle)
                EXPECT_TRUE(test::readWholeFile(target_) == recording) << "a partial recording, " << context;
            else
                EXPECT_EQ(name.rfind("." + kTitle + ".", 0), 0u) << name << ", " << context;
        }
        base::removeStaleTemporaries(base::fromUtf8(targetFolder_));
        const std::vector<std::string> left = test::entryNames(targetFolder_);
        EXPECT_TRUE(left.empty() || left == std::vector<std::string>{kTitle}) << context;
        fs::remove(target_);
    }

    test::TempFolder root_;
    const std::string sourceFolder_ = root_.file("temp");
    const std::string targetFolder_ = root_.file("record");
    const std::string source_ = sourceFolder_ + "/melvox_record.mp3";
    const std::string target_ = targetFolder_ + "/" + kTitle;
};

TEST_F(MoveToNewFileTest, MovesOnOneFileSystemAndAcrossTwoNeverOverAnotherFile) {
    const std::string recording = someBytes(300 * 1024, 1);
    const struct {
        bool acrossFileSystems;
        bool titleTaken;
        int code;
    } cases[] = {{false, false, 0}, {false, true, 11}, {true, false, 0}, {true, true, 11}};
    for (const auto& c : cases) {
        const std::string context =
            std::string(c.acrossFileSystems ? "across" : "one") + (c.titleTaken ? ", taken" : ", free");
        if (c.titleTaken) writeBytes(target_, "older");
        const auto move = [&](const std::function<void()>& ready) {
            writeBytes(source_, recording);
            ready();
            return moveCode(source_, target_);
        };
        int code = 0;
        if (c.acrossFileSystems) {
            const int status = inChildWithOwnTmpfs(sourceFolder_, move);
            if (noPrivateMounts(status)) GTEST_SKIP() << "no mount namespace of the test's own";
            ASSERT_TRUE(WIFEXITED(status)) << context;
            code = WEXITSTATUS(status);
        } else {
            code = move([] {});
            fs::remove(source_);
        }
        EXPECT_EQ(code, c.code) << context;
        EXPECT_EQ(test::readWholeFile(target_), c.titleTaken ? "older" : recording) << context;
        // No temporary stays behind after a move that ended.
        EXPECT_EQ(test::entryNames(targetFolder_), std::vector<std::string>{kTitle}) << context;
        fs::remove(target_);
    }
}

TEST_F(MoveToNewFileTest, AMoveAcrossFileSystemsKilledAnywhereLeavesNoRecordingOrTheWholeOne) {
    const std::size_t size = 4 * 1024 * 1024;
    const std::string recording = someBytes(size, 2);
    const std::uint32_t seed = std::random_device()();
    std::mt19937 random(seed);
    const auto move = [&](std::size_t writeLimit) {
        return [&, writeLimit](const std::function<void()>& ready) {
            writeBytes(source_, recording);
            if (writeLimit > 0) test::limitFileSize(writeLimit, test::OnExcess::kill);
            ready();
            return moveCode(source_, target_);
        };
    };

    // Killed while copying: at points spread over the recording.
    std::vector<std::size_t> limits = {1, 4096, size - 1};
    for (int n = 0; n < 12; ++n)
        limits.push_back(std::uniform_int_distribution<std::size_t>(1, size - 1)(random));
    for (const std::size_t limit : limits) {
        const int status = inChildWithOwnTmpfs(sourceFolder_, move(limit));
        if (noPrivateMounts(status)) GTEST_SKIP() << "no mount namespace of the test's own";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << limit;
        expectNothingOrTheWhole(recording, "killed past byte " + std::to_string(limit));
    }

    // Killed at any moment: while copying, flushing, naming or removing the source. One whole
    // move tells how long a move takes here.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(WEXITSTATUS(inChildWithOwnTmpfs(sourceFolder_, move(0))), 0);
    const auto span =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    expectNothingOrTheWhole(recording, "whole");
    for (int n = 0; n < 20; ++n) {
        const auto delay = std::chrono::microseconds(
            std::uniform_int_distribution<std::int64_t>(0, span.count() * 3 / 2)(random));
        const int status = inChildWithOwnTmpfs(sourceFolder_, move(0), [&](pid_t child) {
            std::this_thread::sleep_for(delay);
            ::kill(child, SIGKILL);
        });
        EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
        expectNothingOrTheWhole(
            recording, "killed after " + std::to_string(delay.count()) + " us, seed " + std::to_string(seed));
    }
}

}  // namespace
