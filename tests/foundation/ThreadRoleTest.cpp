// The rule for a wait on a device's reply, by the role of the waiting thread.

#include <gtest/gtest.h>

#include <thread>

#include "foundation/ThreadRole.h"

namespace {

using os::DeviceWait;
using os::ThreadRole;

TEST(ThreadRole, OnlyTheWindowAndTheTransportMayNotWaitForADevice) {
    struct Case {
        ThreadRole role;
        DeviceWait lenient;  // as the program runs for the operator
        DeviceWait strict;   // strict, in a build with sanitizers
    };
    const Case cases[] = {
        {ThreadRole::other, DeviceWait::allowed, DeviceWait::allowed},
        {ThreadRole::dispatcher, DeviceWait::allowed, DeviceWait::allowed},
        {ThreadRole::window, DeviceWait::reported, DeviceWait::ended},
        {ThreadRole::transportSender, DeviceWait::refused, DeviceWait::ended},
        {ThreadRole::transportReceiver, DeviceWait::refused, DeviceWait::ended},
        {ThreadRole::transportResponder, DeviceWait::refused, DeviceWait::ended},
    };
    for (const Case& c : cases) {
        const wchar_t* name = os::threadRoleName(c.role);
        EXPECT_EQ(os::judgeDeviceWait(c.role, false, false), c.lenient) << name;
        EXPECT_EQ(os::judgeDeviceWait(c.role, false, true), c.lenient) << name;
        // Strict without sanitizers (a release build) ends nothing.
        EXPECT_EQ(os::judgeDeviceWait(c.role, true, false), c.lenient) << name;
        EXPECT_EQ(os::judgeDeviceWait(c.role, true, true), c.strict) << name;
    }
}

TEST(ThreadRole, EachThreadHasItsOwn) {
    os::setThreadRole(ThreadRole::window);
    ThreadRole seen = ThreadRole::window;
    std::thread([&] { seen = os::threadRole(); }).join();
    EXPECT_EQ(seen, ThreadRole::other);
    EXPECT_EQ(os::threadRole(), ThreadRole::window);
    os::setThreadRole(ThreadRole::other);
}

}  // namespace
