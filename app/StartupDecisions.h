#pragma once
// The decisions of the start-up that depend on the world outside the program: whether this
// copy may start, which network interface it works on, and what a first start tells.

#include <optional>
#include <string>
#include <vector>

#include "foundation/NetworkInterfaces.h"

class pref;

namespace app {

enum class StartDecision {
    start,             // no other copy runs: this one starts
    refuseSecond,      // another copy runs: tell the operator and end
    askRunningToStop,  // --quit with a copy running: ask it to stop, then end
    endQuietly,        // --quit with no copy running: nothing to do
};

StartDecision decideStart(bool quitOption, bool anotherCopyRuns);

struct InterfaceChoice {
    // The address to work on; empty means any address.
    std::string ip;
    // The saved address is gone: the operator is asked before `ip` is used.
    bool ask = false;
};

// The one notice the window gives when it starts: on a first start (no settings file yet) that
// the password and the network interface are to be set, where the passwords are set, what stays
// off until they are, and where the network interface is chosen; none on any other start. With
// the alarm functions off (`mainWindow.alarmButtons`) there is no alarm-playback password to set,
// and the notice says that they are off.
std::optional<std::wstring> startNotice(bool firstStart, bool alarmFunctions);

// A first start finds no settings file. One that found a file it could not read is none: it runs on
// the default settings all the same, and unreadSettingsNotice tells it instead.
bool isFirstStart(const pref& settings);
// The box of a start whose settings file could not be read: why, where the file was kept, and
// that the run goes on the default settings, without passwords and with the alarm functions off,
// until they are set again; none when the file was read or was not there.
std::optional<std::wstring> unreadSettingsNotice(const pref& settings);

// The saved address while an adapter has it (a loopback address always counts as present);
// on a first start (nothing saved) the best guess without asking; otherwise the best guess
// (the adapter with the saved name, else the likeliest one), to be confirmed by the operator.
InterfaceChoice chooseInterface(const std::string& savedIp, const std::wstring& savedName,
                                const std::vector<os::NetworkInterface>& interfaces);

}  // namespace app
