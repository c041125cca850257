#pragma once
// What the audio-memory tests share: a running dispatcher and transport on loopback, an
// emulated device with an audio flash, and the device that talks to it.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Outcomes.h"
#include "devicelink/TransferProtocol.h"
#include "devicememory/V4AudioMemory.h"
#include "devicememory/V4Records.h"
#include "foundation/ThreadDispatcher.h"
#include "support/AudioFlash.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"
#include "support/TestDevice.h"

namespace test {

using MemoryPtr = std::shared_ptr<device::memory::IAudioControl>;

// An attached memory of the layout `Memory`, built as its device builds it.
template <class Memory>
MemoryPtr createOf(const std::shared_ptr<device::DeviceBase>& device,
                   const std::shared_ptr<device::TransferProtocol>& transport, bool blank) {
    return Memory::create(device, transport, nullptr, blank);
}

class AudioMemoryFixture : public ::testing::Test {
protected:
    using Memory = device::v4::memory::AudioMemory;
    static constexpr std::size_t kFlashSize = 16 * 1024;

    void SetUp() override {
        base::ThreadDispatcher::create();
        transport_ = std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
        transport_->run();
        startDevice(kFlashSize);
    }
    void TearDown() override {
        device_.reset();
        transport_->stop();
        base::ThreadDispatcher::destroy();
    }

    // A new emulated device with a flash of `size` bytes; in strict mode for the command set
    // that erases before it writes.
    void startDevice(std::size_t size, AudioFlash::Words words = AudioFlash::Words::voice) {
        start(emulated_, flash_, device_, size, words);
    }
    // An emulated device, its flash and the device that talks to it, built anew at an address of
    // their own: a request of an earlier device still in flight (a piece of a failed write is
    // sent again until its time runs out) never reaches the new one, nor holds up its queue.
    void start(std::unique_ptr<EmulatedDevice>& emulated, std::unique_ptr<AudioFlash>& flash,
               std::shared_ptr<TestDevice>& device, std::size_t size, AudioFlash::Words words) {
        device.reset();
        flash.reset();
        emulated.reset();
        const int id = nextHost_++;
        ASSERT_LT(id, 255);
        emulated = std::make_unique<EmulatedDevice>("127.0.0." + std::to_string(id), port_);
        flash = std::make_unique<AudioFlash>(*emulated, size, words);
        flash->flash().setStrict(words == AudioFlash::Words::voice);
        char hardware[18];
        std::snprintf(hardware, sizeof hardware, "02:7E:41:00:00:%02X", static_cast<unsigned>(id));
        device = TestDevice::create(id, device::types::vokarB, net::HardwareAddress(hardware),
                                    emulated->address(), L"Hall", transport_, nullptr);
    }

    std::shared_ptr<Memory> memory(bool blank = false) {
        return Memory::create(
            device_, transport_, [this](int event) { events_.push_back(event); }, blank);
    }

    // Writes the memory's changes and waits for the end; the progress values reported.
    std::vector<int> write(device::memory::IAudioControl& memory, ProgressRecorder& recorder) {
        recorder.watch(memory);
        memory.writeChanges(recorder.progress());
        EXPECT_TRUE(recorder.waitEnd());
        return recorder.values();
    }
    std::vector<int> write(device::memory::IAudioControl& memory) {
        ProgressRecorder recorder;
        return write(memory, recorder);
    }

    // The record of type Record at `address` of the flash; putting one there as it is.
    template <class Record>
    Record recordAt(std::uint32_t address) const {
        const std::string bytes = *flash_->flash().read(address, Record::size);
        return Record::read(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    }
    template <class Record>
    void put(std::uint32_t address, const Record& record) {
        std::uint8_t bytes[Record::size];
        record.write(bytes);
        flash_->flash().load(address, std::string(reinterpret_cast<char*>(bytes), Record::size));
    }

    // The root as it lies in the flash now.
    device::v4::memory::Root flashRoot() const {
        const std::string bytes = flash_->flash().contents();
        return device::v4::memory::Root::read(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    }
    bool rootErased() const {
        return flash_->flash().contents().compare(0, 24, std::string(24, '\xFF')) == 0;
    }

    // The program commands the device received, in order.
    std::vector<std::string> programs(const std::string& word = "voiceMemProgram ") const {
        std::vector<std::string> found;
        for (const std::string& command : emulated_->received()) {
            if (command.compare(0, word.size(), word) == 0) found.push_back(command);
        }
        return found;
    }

    LogCapture capture_;
    // The last byte of the next emulated device's loopback address.
    int nextHost_ = 3;
    const std::uint16_t port_ = freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_;
    std::unique_ptr<EmulatedDevice> emulated_;
    std::unique_ptr<AudioFlash> flash_;
    std::shared_ptr<TestDevice> device_;
    std::vector<int> events_;
};

// What a memory shows of itself: its hash, entries and whether it has changes.
inline std::wstring contentsOf(device::memory::IAudioControl& memory) {
    std::wstringstream text;
    text << memory.getHash() << L":";
    for (const auto& f : memory.getFragments())
        text << f.id << L"," << f.order << L"," << f.name << L"," << f.size << L";";
    for (const auto& s : memory.getScenarios())
        text << s.id << L"," << s.order << L"," << s.gongId << L"," << s.fragmentId << L"," << s.repeatPeriod
             << L"," << s.name << L";";
    return text.str() + (memory.hasChanges() ? L"changed" : L"unchanged");
}

// A text of `size` bytes that differs with `seed`.
inline std::string bytesOf(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + seed * 17 + i / 7) & 0xFF);
    return data;
}

}  // namespace test
