#include "foundation/SystemServices.h"

#include <alsa/asoundlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <boost/thread/thread.hpp>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "foundation/ChildProgram.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace os {
namespace {

constexpr std::chrono::seconds kGrantWait(10);  // for the desktop session to grant the lock
constexpr std::chrono::seconds kEndWait(2);     // for the inhibitor to end
constexpr std::size_t kMaxAnswer = 4096;

// The inhibitor keeps its lock while its command runs. The command first reports that it
// runs (so a refusal is told apart from a grant without waiting for a timeout), then waits
// for the end of its standard input: our end of a pipe, which the system also closes when
// this process dies, so a crashed program never leaves the machine sleepless.
constexpr const char* kHeldCommand = "echo ready; exec cat >/dev/null";
constexpr const char* kReadyLine = "ready\n";

class FileDescriptor {
public:
    FileDescriptor() = default;
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

bool makePipe(FileDescriptor& readEnd, FileDescriptor& writeEnd) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    return true;
}

struct SleepInhibitor {
    std::mutex lock;
    pid_t process = -1;
    FileDescriptor hold;
};

SleepInhibitor& sleepInhibitor() {
    static SleepInhibitor inhibitor;
    return inhibitor;
}

// Starts "systemd-inhibit" with the given standard input and output; returns 0 or the error.
int spawnInhibitor(int input, int output, pid_t& process) {
    return startChildProgram(
        {"systemd-inhibit", "--what=sleep:idle", "--who=Melvox",
         "--why=The public-address service is running", "--mode=block", "/bin/sh", "-c", kHeldCommand},
        {input, output, output}, process);
}

// Reads the inhibitor's output until its command reports that it runs (true), or the
// output ends or stays silent too long (false); `answer` holds what was read.
bool awaitGrant(int output, std::string& answer) {
    std::chrono::milliseconds silence = kGrantWait;
    const auto granted = [](const std::string& text) { return text.find(kReadyLine) != std::string::npos; };
    readChildOutput(output, answer, kMaxAnswer, silence, granted);
    return granted(answer);
}

void endProcess(pid_t process) {
    if (awaitChildEnd(process, kEndWait)) return;
    kill(process, SIGTERM);
    if (awaitChildEnd(process, kEndWait)) return;
    killChild(process);
}

void holdOffSleep(SleepInhibitor& inhibitor, const debug::Place& place) {
    if (inhibitor.process > 0) {
        place.trace(L"System sleep is already held off");
        return;
    }
    FileDescriptor holdRead, holdWrite, answerRead, answerWrite;
    if (!makePipe(holdRead, holdWrite) || !makePipe(answerRead, answerWrite)) {
        place.info(L"System sleep cannot be held off: %1%", os::errorText(errno));
        return;
    }
    pid_t process = -1;
    const int error = spawnInhibitor(holdRead.get(), answerWrite.get(), process);
    holdRead.reset();
    answerWrite.reset();
    if (error != 0) {
        place.info(L"System sleep cannot be held off: systemd-inhibit cannot be started (%1%)",
                   os::errorText(error));
        return;
    }
    std::string answer;
    if (!awaitGrant(answerRead.get(), answer)) {
        holdWrite.reset();
        kill(process, SIGTERM);
        endProcess(process);
        place.info(L"System sleep cannot be held off: %1%", base::fromUtf8(base::trimmed(answer)));
        return;
    }
    inhibitor.process = process;
    inhibitor.hold.reset(holdWrite.release());
    place.info(L"System sleep is held off (inhibitor process %1%)", process);
}

void allowSleep(SleepInhibitor& inhibitor, const debug::Place& place) {
    if (inhibitor.process <= 0) {
        place.info(L"System sleep was not held off");
        return;
    }
    // The end of its input ends the held command, and with it the inhibitor.
    inhibitor.hold.reset();
    endProcess(inhibitor.process);
    inhibitor.process = -1;
    place.info(L"System sleep is allowed again");
}

void raisePriority(pthread_t handle) {
    const debug::Place place("os::setThreadPriority");
    place.trace(L"set thread priority");
    // The level of the process's other threads, read before any of them was raised.
    static const int normalNice = [] {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
        return nice == -1 && errno != 0 ? 0 : nice;
    }();
    clockid_t clock = 0;
    int error = pthread_getcpuclockid(handle, &clock);
    // A thread's CPU clock carries its kernel thread id, which the per-thread nice value needs:
    // the kernel encodes it as ~id << 3 with the per-thread flag (4) set.
    if (error == 0 && (clock & 4) == 0) error = EINVAL;
    if (error == 0) {
        const auto threadId = static_cast<id_t>(~(clock >> 3));
        if (setpriority(PRIO_PROCESS, threadId, std::max(normalNice - 1, -20)) != 0) error = errno;
    }
    // A system that does not let this user raise a priority is no fault to show the operator.
    if (error == EACCES || error == EPERM) {
        place.info(L"Приоритет не установлен. (%1%)", error);
    } else if (error != 0) {
        place.warn(L"Приоритет не установлен. (%1%)", error);
    }
}

struct ControlCloser {
    void operator()(snd_ctl_t* control) const { snd_ctl_close(control); }
};
struct CardInfoFree {
    void operator()(snd_ctl_card_info_t* info) const { snd_ctl_card_info_free(info); }
};
struct PcmInfoFree {
    void operator()(snd_pcm_info_t* info) const { snd_pcm_info_free(info); }
};

}  // namespace

void keepSystemAwake(bool keep) {
    const debug::Place place("os::keepSystemAwake");
    SleepInhibitor& inhibitor = sleepInhibitor();
    std::lock_guard<std::mutex> guard(inhibitor.lock);
    if (keep) {
        holdOffSleep(inhibitor, place);
    } else {
        allowSleep(inhibitor, place);
    }
}

void setThreadPriority(boost::thread& thread) {
    raisePriority(thread.native_handle());
}

void setThreadPriority(std::thread& thread) {
    raisePriority(thread.native_handle());
}

std::wstring getThreadList() {
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir("/proc/self/task"), closedir);
    if (!folder) return std::wstring();
    std::string list;
    while (const dirent* entry = readdir(folder.get())) {
        const char* name = entry->d_name;
        const char* end = name + std::strlen(name);
        unsigned long id = 0;
        const auto parsed = std::from_chars(name, end, id);
        if (parsed.ec != std::errc() || parsed.ptr != end) continue;
        char text[24];
        const auto written = std::to_chars(text, text + sizeof text, id, 16);
        std::transform(text, written.ptr, text, [](char c) { return static_cast<char>(std::toupper(c)); });
        list.append(text, written.ptr);
        list += ',';
    }
    if (!list.empty()) list.pop_back();
    return base::widen(list);
}

std::vector<CaptureDevice> getAudioCaptureDevices() {
    std::vector<CaptureDevice> devices;
    snd_ctl_card_info_t* rawCardInfo = nullptr;
    snd_pcm_info_t* rawPcmInfo = nullptr;
    if (snd_ctl_card_info_malloc(&rawCardInfo) < 0) return devices;
    std::unique_ptr<snd_ctl_card_info_t, CardInfoFree> cardInfo(rawCardInfo);
    if (snd_pcm_info_malloc(&rawPcmInfo) < 0) return devices;
    std::unique_ptr<snd_pcm_info_t, PcmInfoFree> pcmInfo(rawPcmInfo);

    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        snd_ctl_t* rawControl = nullptr;
        const std::string cardAddress = "hw:" + std::to_string(card);
        if (snd_ctl_open(&rawControl, cardAddress.c_str(), 0) < 0) continue;
        std::unique_ptr<snd_ctl_t, ControlCloser> control(rawControl);
        std::string cardName;
        if (snd_ctl_card_info(control.get(), cardInfo.get()) >= 0) {
            if (const char* text = snd_ctl_card_info_get_name(cardInfo.get())) cardName = text;
        }
        int device = -1;
        while (snd_ctl_pcm_next_device(control.get(), &device) == 0 && device >= 0) {
            snd_pcm_info_set_device(pcmInfo.get(), static_cast<unsigned>(device));
            snd_pcm_info_set_subdevice(pcmInfo.get(), 0);
            snd_pcm_info_set_stream(pcmInfo.get(), SND_PCM_STREAM_CAPTURE);
            // A device without capture streams has no capture information.
            if (snd_ctl_pcm_info(control.get(), pcmInfo.get()) < 0) continue;
            const char* description = snd_pcm_info_get_name(pcmInfo.get());
            CaptureDevice entry;
            entry.name = base::fromUtf8(description && *description ? description : cardName);
            entry.waveInId = static_cast<std::int32_t>(devices.size());
            devices.push_back(std::move(entry));
        }
    }
    return devices;
}

}  // namespace os
