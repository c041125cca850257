#pragma once
// What the audio-memory tests share: a running dispatcher and transport on loopback, an
// emulated device with an audio flash, the device that talks to it, and a recorder of the
// progress and the end notifications of writes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devicelink/TransferProtocol.h"
#include "devicememory/V4AudioMemory.h"
#include "devicememory/V4Records.h"
#include "foundation/Exceptions.h"
#include "foundation/ThreadDispatcher.h"
#include "support/AudioFlash.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"
#include "support/TestDevice.h"

namespace test {

// The progress reports of one write and its end notifications.
class WriteRecorder {
public:
    device::memory::ProgressHandler progress() {
        return [state = state_](int percent) {
            std::lock_guard<std::mutex> guard(state->lock);
            state->values.push_back(percent);
            state->changed.notify_all();
        };
    }
    void watch(device::memory::IAudioControl& memory) {
        memory.setWriteHandlers([state = state_] { ++state->started; },
                                [state = state_] {
                                    std::lock_guard<std::mutex> guard(state->lock);
                                    ++state->finished;
                                    state->changed.notify_all();
                                });
    }
    // Waits until the write reported its end (100 or -1) and its end notification came.
    bool waitEnd(std::chrono::seconds deadline = std::chrono::seconds(30)) {
        std::unique_lock<std::mutex> guard(state_->lock);
        return state_->changed.wait_for(guard, deadline, [&] {
            const auto& v = state_->values;
            return state_->finished > 0 && !v.empty() && (v.back() == 100 || v.back() == -1);
        });
    }
    std::vector<int> values() const {
        std::lock_guard<std::mutex> guard(state_->lock);
        return state_->values;
    }
    int started() const { return state_->started.load(); }
    int finished() const {
        std::lock_guard<std::mutex> guard(state_->lock);
        return state_->finished;
    }

private:
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        std::vector<int> values;
        std::atomic<int> started{0};
        int finished = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

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
        device_.reset();
        flash_.reset();
        emulated_.reset();
        emulated_ = std::make_unique<EmulatedDevice>("127.0.0.2", port_);
        flash_ = std::make_unique<AudioFlash>(*emulated_, size, words);
        flash_->flash().setStrict(words == AudioFlash::Words::voice);
        device_ = TestDevice::create(3, device::types::vokarB, net::HardwareAddress("02:7E:41:00:00:03"),
                                     emulated_->address(), L"Hall", transport_, nullptr);
    }

    std::shared_ptr<Memory> memory(bool blank = false) {
        return Memory::create(
            device_, transport_, [this](int event) { events_.push_back(event); }, blank);
    }

    // Writes the memory's changes and waits for the end; the progress values reported.
    std::vector<int> write(device::memory::IAudioControl& memory, WriteRecorder& recorder) {
        recorder.watch(memory);
        memory.writeChanges(recorder.progress());
        EXPECT_TRUE(recorder.waitEnd());
        return recorder.values();
    }
    std::vector<int> write(device::memory::IAudioControl& memory) {
        WriteRecorder recorder;
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
    std::vector<std::string> programs() const {
        std::vector<std::string> found;
        for (const std::string& command : emulated_->received()) {
            if (command.compare(0, 16, "voiceMemProgram ") == 0) found.push_back(command);
        }
        return found;
    }

    LogCapture capture_;
    const std::uint16_t port_ = freeUdpPort();
    std::shared_ptr<device::TransferProtocol> transport_;
    std::unique_ptr<EmulatedDevice> emulated_;
    std::unique_ptr<AudioFlash> flash_;
    std::shared_ptr<TestDevice> device_;
    std::vector<int> events_;
};

// The code of the exception::UserResponse that `action` throws; empty when it throws another
// exception or none.
template <class Action>
std::wstring thrownCode(Action&& action) {
    try {
        action();
    } catch (const exception::UserResponse& refusal) {
        return refusal.message;
    } catch (const std::exception&) {
    }
    return L"";
}

// The texts of the exception::Base that `action` throws, "message / description" (the message
// alone when there is no description); empty when it throws none.
template <class Action>
std::wstring thrownMessage(Action&& action) {
    try {
        action();
    } catch (const exception::Base& error) {
        return error.description.empty() ? error.message : error.message + L" / " + error.description;
    }
    return L"";
}

// A text of `size` bytes that differs with `seed`.
inline std::string bytesOf(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + seed * 17 + i / 7) & 0xFF);
    return data;
}

}  // namespace test
