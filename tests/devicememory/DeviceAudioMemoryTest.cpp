// The device base's audio-memory entry point: built once through the device class, kept until
// released, and a failure to build it passed on only when asked.

#include "AudioMemoryFixture.h"
#include "foundation/Exceptions.h"

namespace test {
namespace {

// A device class whose audio memory is the version-4 one.
class MemoryDevice : public TestDevice {
public:
    using TestDevice::TestDevice;
    std::shared_ptr<device::memory::IAudioControl> initAudioMemory(bool blank) override {
        return device::v4::memory::AudioMemory::create(getThisBasePtr(), protocol_, nullptr, blank);
    }
};

class DeviceAudioMemoryTest : public AudioMemoryFixture {
protected:
    std::shared_ptr<MemoryDevice> makeDevice() {
        return TestDevice::create<MemoryDevice>(4, device::types::vokarB,
                                                net::HardwareAddress("02:7E:41:00:00:04"),
                                                emulated_->address(), L"Hall", transport_, nullptr);
    }
    std::size_t loadedLines() {
        return capture_.find(L"Audio Memory is loaded for device id=4", L"MARK").size();
    }
};

TEST_F(DeviceAudioMemoryTest, IsBuiltOnceAndAgainAfterItWasReleased) {
    auto device = makeDevice();
    const auto first = device->getAudioMemory(false, true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(device->getAudioMemory(false, true), first);
    EXPECT_EQ(loadedLines(), 1u);
    device->releaseAudioMemory();
    const auto second = device->getAudioMemory(false, true);
    EXPECT_NE(second, first);
    EXPECT_EQ(loadedLines(), 2u);
    device->resetCache();
    EXPECT_NE(device->getAudioMemory(false, true), second);

    // The memory does not keep its device alive.
    const std::weak_ptr<device::DeviceBase> watched = device;
    device.reset();
    EXPECT_TRUE(watched.expired());
}

TEST_F(DeviceAudioMemoryTest, AFailureToBuildItIsPassedOnOnlyWhenAsked) {
    const struct {
        const char* size;
        const wchar_t* message;
    } cases[] = {
        {"511", L"Получен неверный размер аудио памяти"},
        {"1024 bytes", L"Internal error / Неверный ответ устройства"},
        {"-1", L"Internal error / Неверный ответ устройства"},
    };
    auto device = makeDevice();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        flash_->setReportedSize(c.size);
        EXPECT_EQ(device->getAudioMemory(false, false), nullptr);
        EXPECT_EQ(thrownMessage([&] { device->getAudioMemory(false, true); }), c.message);
    }
    // A device class without an audio memory has none.
    EXPECT_EQ(device_->getAudioMemory(false, true), nullptr);
}

}  // namespace
}  // namespace test
