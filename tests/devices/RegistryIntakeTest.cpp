// Loudspeakers and consoles coming online through the registry: the status packets of an
// emulated device create it (as the registry's own tests show), are parsed by its device class,
// and its online state follows them.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "support/ConsoleEmulator.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/ManualClock.h"
#include "tests/devices/VokarFixture.h"

namespace {

class RegistryIntakeTest : public test::VokarFixture {
protected:
    void SetUp() override {
        VokarFixture::SetUp();
        registry_ = std::make_shared<device::DeviceCollection>(transport_, port_);
        registry_->setFactory(device::types::loudspeaker,
                              std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
        registry_->setFactory(device::types::console,
                              std::make_shared<device::DeviceFactoryOf<device::TribelInfo>>());
        registry_->setNewDeviceHandler([this](const std::string&, const net::HardwareAddress&,
                                              const std::wstring&) { return ++nextId_; });
        registry_->setStateHandler([this](const std::shared_ptr<device::DeviceBase>&) { ++notices_; });
    }
    void TearDown() override {
        registry_->stop();
        transport_->stop();
        registry_.reset();
        VokarFixture::TearDown();
    }
    net::IpAndPort headEnd() const { return net::IpAndPort("127.0.0.1", port_); }

    std::shared_ptr<device::DeviceCollection> registry_;
    std::atomic<std::uint32_t> nextId_{0};
    std::atomic<int> notices_{0};
};

// The responding check gives a device a fraction of a second; with time held, the answer of a
// loaded machine still comes within it, and time moves only when the tests move it.
TEST_F(RegistryIntakeTest, OfflineFiveSecondsAfterThePacketsStop) {
    test::ManualClock clock;
    clock.holdSteady();
    auto emulator = makeEmulator(device::vokarV3_A110);
    ASSERT_TRUE(emulator->sendStatus(headEnd()));
    ASSERT_TRUE(test::waitFor([&] { return registry_->getVokars(false).size() == 1; }));
    const auto loudspeaker = registry_->getVokars(false).front();
    EXPECT_EQ(loudspeaker->getDisplayName(), L"Устройство 02:7E:41:00:00:01");
    ASSERT_TRUE(emulator->sendStatus(headEnd()));
    ASSERT_TRUE(test::waitFor([&] { return loudspeaker->isOnline(); }));
    EXPECT_EQ(loudspeaker->getAddress().getText(), "127.0.0.2");
    // The responding check that the packet queued finds the loudspeaker answering.
    ASSERT_TRUE(test::waitFor([&] { return queued(L"check responding") == 1; }));
    clock.advance(std::chrono::milliseconds(200));
    ASSERT_TRUE(test::waitFor([&] { return loudspeaker->isOnlineAndResponding(); }));
    // The check's handler queues its notice after it set the flag: the first wait may end before
    // the notice is queued, the second one not.
    ASSERT_TRUE(test::waitForDispatcher());
    ASSERT_TRUE(test::waitForDispatcher());
    const int noticesWhileOnline = notices_.load();
    EXPECT_GE(noticesWhileOnline, 1);

    clock.advance(std::chrono::seconds(5));
    EXPECT_FALSE(loudspeaker->isOnline());
    loudspeaker->checkOnline(false);
    loudspeaker->checkOnline(false);  // already found silent: no second notification
    ASSERT_TRUE(test::waitForDispatcher());
    EXPECT_EQ(notices_.load(), noticesWhileOnline + 1);
    EXPECT_FALSE(loudspeaker->responding.load());
    EXPECT_TRUE(capture_.contains(L"Устройство отключено: 'Устройство 02:7E:41:00:00:01'", L"INFO"));
    EXPECT_EQ(capture_.find(L"Устройство отключено").size(), 1u);
}

TEST_F(RegistryIntakeTest, AConsoleComesOnlineBesideALoudspeaker) {
    test::ManualClock clock;
    clock.holdSteady();
    auto loudspeaker = makeEmulator(device::vokarV3_A110, "", 3);
    test::ConsoleEmulator console("127.0.0.2", port_, "02:7E:41:00:00:02", "2.00.16");
    for (int packet = 0; packet < 2; ++packet) {
        ASSERT_TRUE(console.sendStatus(headEnd()));
        ASSERT_TRUE(loudspeaker->sendStatus(headEnd()));
    }
    ASSERT_TRUE(test::waitFor([&] {
        const auto tribels = registry_->getTribels(false);
        return tribels.size() == 1 && tribels.front()->isOnline() && registry_->getVokars(false).size() == 1;
    }));
    const auto tribel = registry_->getTribels(false).front();
    EXPECT_EQ(tribel->getVersion().type, device::types::tribelTV2);
    EXPECT_EQ(tribel->getHardwareAddress().toCharArray(), std::string("02:7E:41:00:00:02"));
    EXPECT_EQ(registry_->getDevices().size(), 2u);
    // The responding check that the packet queued finds the console answering.
    ASSERT_TRUE(test::waitFor([&] { return queued(L"check responding") == 2; }));
    clock.advance(std::chrono::milliseconds(200));
    ASSERT_TRUE(
        test::waitFor([&] { return tribel->isOnlineAndResponding() && tribel->volume.load() == 80; }));
}

}  // namespace
