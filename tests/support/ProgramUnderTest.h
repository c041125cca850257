#pragma once
// The program of this build started as the operator starts it: its own data folder with a
// settings file that puts it on 127.0.0.1 at a free base port with the idle lock off, emulated
// loudspeakers on 127.0.0.2, 127.0.0.3, ... sending it their status packets, and a private X
// server on which its windows can be found, closed and photographed.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/LoudspeakerGroup.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"
#include "support/XServer.h"

namespace test {

class ProgramUnderTest {
public:
    ProgramUnderTest();
    ~ProgramUnderTest();

    std::uint16_t basePort() const { return port_; }
    // What LOCALAPPDATA names for the program.
    const std::string& dataRoot() const { return root_.path(); }
    // A file of the program's data folder.
    std::string dataFile(const std::string& name) const;
    XServer& screen() { return screen_; }

    // Loudspeakers that send their status packets to the program (see LoudspeakerGroup).
    LoudspeakerGroup& loudspeakers() { return loudspeakers_; }

    // The plug-in folder of the program this object starts, made on the first call: the program
    // then runs from a folder of the test's own (its files linked there), with the shipped plug-in
    // in its "@plugins", where the test may put others.
    std::string pluginFolder();

    // Starts a copy of the program; several may run at once. With `keepErrors` its standard
    // error and output go to a file of its own (ProgramRun::errorOutput) instead of the test's.
    std::unique_ptr<ProgramRun> start(const std::vector<std::string>& arguments = {},
                                      bool keepErrors = false);
    // The runs started from now on find the disk's flushes of the files whose paths hold `name`
    // stalled for good, as on a disk that stopped answering; an empty name ends that.
    void stallFlushesOf(const std::string& name);
    // The runs started from now on read the wall clock (local time and the system time) `shift`
    // ahead of this machine's; the monotonic clock is the machine's.
    void shiftWallClock(std::chrono::microseconds shift);
    // Runs "melvox --quit" to its end; its exit status.
    std::optional<int> quit();

    // Whether the program's log holds a line containing the text (`times` of them); waits up to
    // the deadline.
    bool waitForLog(const std::wstring& text, std::size_t times = 1,
                    std::chrono::milliseconds deadline = std::chrono::seconds(30)) const;
    std::size_t countInLog(const std::wstring& text) const;

    // Saves the run's topmost window as "<build>/screenshots/<name>.png"; the path, or empty.
    std::string screenshot(const ProgramRun& run, const std::string& name);

private:
    TempFolder root_;
    const std::uint16_t port_;
    XServer screen_;
    LoudspeakerGroup loudspeakers_{port_};
    int runs_ = 0;
    std::string program_;
    std::string stalledFlushes_;
    std::chrono::microseconds clockShift_{0};
};

}  // namespace test
