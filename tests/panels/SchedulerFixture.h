#pragma once
// What the scheduler panel's tests without a window share: a running scheduler core with the
// dispatcher and the settings it needs, loudspeakers on a loopback transport and the captured log.

#include <gtest/gtest.h>

#include "audio/SchedulerCore.h"
#include "devices/VokarInfo.h"
#include "foundation/Settings.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"

namespace test {

class SchedulerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        base::ThreadDispatcher::create();
        pref::instanceSlot().install(pref_init(L""));
    }
    void TearDown() override {
        core_.stop();
        delete pref::instanceSlot().release();
        base::ThreadDispatcher::destroy();
    }

    std::shared_ptr<device::DeviceBase> loudspeaker(std::uint32_t number) const {
        return device::VokarInfo::create(number, device::types::vokarB, net::HardwareAddress(0, number),
                                         net::IpAndPort("127.0.0.2", 1), L"", transport_, nullptr);
    }

    LogCapture capture_;
    const std::shared_ptr<device::TransferProtocol> transport_ =
        std::make_shared<device::TransferProtocol>(freeUdpPort(), "127.0.0.1");
    scheduler::Core core_;
};

}  // namespace test
