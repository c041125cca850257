// The audio memory on its device: a fragment that fills the flash, playing and stopping, and a
// broken memory that stays refused until it is rebuilt; the device base's entry point to it:
// built once through the device class, kept until released, and a failure to build it passed
// on only when asked. The model's own rules are tested without a device (AudioMemoryModelTest.cpp).

#include "AudioMemoryFixture.h"
#include "support/LoudspeakerEmulator.h"

namespace test {
namespace {

class AudioMemoryDeviceTest : public AudioMemoryFixture {};

// Fragment data ends one byte below the top of the flash: a fragment that leaves exactly that
// byte free fits and is written; one byte more does not fit.
TEST_F(AudioMemoryDeviceTest, TakesAFragmentThatFillsTheFlashToItsLastByte) {
    const std::uint32_t largest = kFlashSize - (24 + 28 + 2) - 1;
    auto edited = memory(true);
    EXPECT_EQ(thrownCode([&] { edited->addFragment(std::string(largest + 1, 'x'), L"A"); }), L"littleMemory");
    edited->addFragment(bytesOf(largest, 1), L"A");
    EXPECT_EQ(edited->getSizeOfFreeMemory(), 0u);
    EXPECT_EQ(thrownCode([&] { edited->addScenario(1, 1, 0, L"S"); }), L"littleMemory");
    EXPECT_EQ(write(*edited).back(), 100);
    EXPECT_EQ(memory(false)->getFragmentFile(1), bytesOf(largest, 1));
}

TEST_F(AudioMemoryDeviceTest, PlaysAndStopsWhatTheDeviceHolds) {
    auto played = memory(true);
    played->addFragment("gong", L"Гонг");
    played->addScenario(1, 1, 0, L"Тревога");
    EXPECT_EQ(thrownCode([&] { played->playFragment(1); }), L"changes");
    write(*played);
    EXPECT_EQ(thrownMessage([&] { played->playFragment(5); }),
              L"position out of range / Номер сообщения вне диапазона воспроизведения");

    played->playScenario(1);
    EXPECT_EQ(emulated_->received().back(), "voicePlaySc 1");
    EXPECT_EQ(played->getPlayingId(), 1);
    played->stop();
    // Within 2 s of a stop nothing starts.
    EXPECT_EQ(thrownCode([&] { played->playFragment(1); }), L"wait");
    EXPECT_EQ(thrownCode([&] { played->stop(); }), L"noPlay");
    EXPECT_EQ(events_, (std::vector<int>{4, 1}));

    auto other = memory(false);
    flash_->setPlaying(true);
    emulated_->on("voiceStop", [](const std::string& c) {
        return std::optional<std::string>(okReply(c, "Already stopped!"));
    });
    EXPECT_EQ(thrownCode([&] { other->stop(); }), L"busy");
    flash_->setScenarioReply("scenario is deferred");
    EXPECT_EQ(thrownCode([&] { other->playScenario(1); }), L"internalPlaying");
    EXPECT_EQ(events_, (std::vector<int>{4, 1, 2}));
}

TEST_F(AudioMemoryDeviceTest, ABrokenMemoryStaysRefusedUntilItIsBuiltAgain) {
    auto written = memory(true);
    written->addFragment(bytesOf(40, 1), L"Гонг");
    write(*written);
    // One byte of the fragment's data changes in the flash.
    flash_->flash().setStrict(false);
    flash_->flash().load(kFlashSize - 2, "\x5A");

    auto loaded = memory(false);
    const std::wstring violated = L"Internal error / Violated audio memory invariant";
    EXPECT_EQ(thrownMessage([&] { loaded->getFragmentFile(1); }), violated);
    EXPECT_TRUE(loaded->isBroken());
    loaded->addFragment("x", L"x");
    EXPECT_EQ(thrownMessage([&] { loaded->writeChanges(nullptr); }), violated);
    EXPECT_EQ(flash_->eraseCount(), 1);

    loaded->clear();
    EXPECT_FALSE(loaded->isBroken());
    loaded->addFragment("x", L"x");
    EXPECT_EQ(write(*loaded).back(), 100);
}

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
