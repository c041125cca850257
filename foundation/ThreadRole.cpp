#include "foundation/ThreadRole.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "foundation/Log.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MELVOX_WITH_SANITIZERS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MELVOX_WITH_SANITIZERS 1
#endif
#ifdef MELVOX_WITH_SANITIZERS
#include <sanitizer/common_interface_defs.h>
#endif

namespace os {
namespace {

thread_local ThreadRole g_role = ThreadRole::other;
std::atomic<bool> g_strict{false};

}  // namespace

void setThreadRole(ThreadRole role) {
    g_role = role;
}

ThreadRole threadRole() {
    return g_role;
}

const wchar_t* threadRoleName(ThreadRole role) {
    switch (role) {
        case ThreadRole::window:
            return L"window";
        case ThreadRole::dispatcher:
            return L"dispatcher";
        case ThreadRole::transportSender:
            return L"transport sender";
        case ThreadRole::transportReceiver:
            return L"transport receiver";
        case ThreadRole::transportResponder:
            return L"transport responder";
        case ThreadRole::other:
            break;
    }
    return L"other";
}

void setStrictThreadRoles(bool strict) {
    g_strict.store(strict);
}

bool strictThreadRoles() {
    return g_strict.load();
}

bool sanitizerBuild() {
#ifdef MELVOX_WITH_SANITIZERS
    return true;
#else
    return false;
#endif
}

DeviceWait judgeDeviceWait(ThreadRole role, bool strict, bool sanitizers) {
    DeviceWait verdict = DeviceWait::allowed;
    switch (role) {
        case ThreadRole::window:
            verdict = DeviceWait::reported;
            break;
        case ThreadRole::transportSender:
        case ThreadRole::transportReceiver:
        case ThreadRole::transportResponder:
            verdict = DeviceWait::refused;
            break;
        case ThreadRole::dispatcher:
        case ThreadRole::other:
            break;
    }
    if (verdict != DeviceWait::allowed && strict && sanitizers) verdict = DeviceWait::ended;
    return verdict;
}

bool mayWaitForDevice(const char* place, const std::string& request, const std::wstring& address) {
    const ThreadRole role = threadRole();
    const DeviceWait verdict = judgeDeviceWait(role, strictThreadRoles(), sanitizerBuild());
    if (verdict == DeviceWait::allowed) return true;
    const std::wstring line = L"A device exchange waits for its reply on the " +
                              std::wstring(threadRoleName(role)) + L" thread: '" + base::widen(request) +
                              L"' to " + address;
    if (verdict == DeviceWait::refused) {
        debug::Place(place).error(L"%1% (refused: the reply could never come)", line);
        return false;
    }
    debug::Place(place).error(L"%1%", line);
    if (verdict == DeviceWait::reported) return true;
    base::Log::notifyInstance();
    std::fprintf(stderr, "%s\n", base::toUtf8(line).c_str());
#ifdef MELVOX_WITH_SANITIZERS
    __sanitizer_print_stack_trace();
#endif
    std::abort();
}

}  // namespace os
