#pragma once
// A few services of the operating system: keeping the machine awake, raising a thread's
// priority, the census of the process's threads and the list of sound-capture devices.

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace boost {
class thread;
}

namespace os {

// One sound-capture device.
struct CaptureDevice {
    // The device's description, or its card's name when it has none; empty when neither is known.
    std::wstring name;
    // The device's number among the capture devices, in the order the system lists them.
    std::int32_t waveInId = 0;
};

// With true, holds off system sleep for as long as the program runs (or until called with
// false); where the desktop session offers no way to do so, logs that and goes on.
void keepSystemAwake(bool keep);

// Raises the thread one step above the normal priority; a refusal is only logged.
void setThreadPriority(boost::thread& thread);
void setThreadPriority(std::thread& thread);

// The identifiers of this process's threads in upper-case hexadecimal, separated by commas;
// empty when they cannot be read.
std::wstring getThreadList();

// The sound-capture devices; empty when there are none or they cannot be listed.
std::vector<CaptureDevice> getAudioCaptureDevices();

}  // namespace os
