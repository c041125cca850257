#pragma once
// What each thread of the program is for, told by the thread itself (the window's by the
// application, the dispatcher's and the transport's by their owners; every other thread is
// `other`), and the rule it gives a wait for a device's reply: the window's thread must never
// wait on the network, and a thread of the transport that waited for a reply would wait on itself.

#include <string>

namespace os {

enum class ThreadRole {
    other,
    window,
    dispatcher,
    transportSender,
    transportReceiver,
    transportResponder,
};

// What becomes of a wait for a device's reply started on a thread.
enum class DeviceWait {
    allowed,
    // Logged as an ERROR, then carried out as before: the operator's action still happens.
    reported,
    // Logged as an ERROR and not carried out: the reply could never come in time.
    refused,
    // Logged, then the program ends, so that a test run cannot miss it.
    ended,
};

void setThreadRole(ThreadRole role);
// The calling thread's role; `other` until it set one.
ThreadRole threadRole();
const wchar_t* threadRoleName(ThreadRole role);

// Strict: a wrong wait ends the program in a build with sanitizers (the window tests turn it on).
// Off unless set.
void setStrictThreadRoles(bool strict);
bool strictThreadRoles();
// Whether this build carries the address or the thread sanitizer.
bool sanitizerBuild();

// The rule: only the window's and the transport's threads may not wait.
DeviceWait judgeDeviceWait(ThreadRole role, bool strict, bool sanitizers);

// Applies the rule to the calling thread, for a wait on `request` to the device at `address`: a
// wrong wait is logged as an ERROR under `place`, and in a strict sanitizer build the program
// ends with the calling stack on the standard error. False when the wait must not go ahead.
bool mayWaitForDevice(const char* place, const std::string& request, const std::wstring& address);

}  // namespace os
