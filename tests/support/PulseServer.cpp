#include "support/PulseServer.h"

#include <pulse/simple.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace test {

PulseServer::PulseServer() {
    const std::string socketPath = runtime_.path() + "/pulse/native";
    const std::string home = "HOME=" + runtime_.path();
    const std::string runtime = "XDG_RUNTIME_DIR=" + runtime_.path();
    std::vector<std::string> environment = {home, runtime, "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = {"pulseaudio",
                                          "--daemonize=no",
                                          "--exit-idle-time=-1",
                                          "-n",
                                          "--log-target=stderr",
                                          "--log-level=0",
                                          "--load=module-native-protocol-unix",
                                          std::string("--load=module-null-sink sink_name=") + kSink};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "pulseaudio", nullptr, nullptr, argv.data(), envp.data()) != 0) {
        pid_ = -1;
        return;
    }
    if (const char* old = std::getenv("PULSE_SERVER")) {
        hadOldServer_ = true;
        oldServer_ = old;
    }
    ::setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        struct stat status {};
        if (::stat(socketPath.c_str(), &status) == 0 && command("list short sources")) {
            ready_ = true;
            break;
        }
        int exitStatus = 0;
        if (::waitpid(pid_, &exitStatus, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

PulseServer::~PulseServer() {
    stopTone();
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (hadOldServer_)
        ::setenv("PULSE_SERVER", oldServer_.c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
}

bool PulseServer::command(const std::string& arguments) const {
    const std::string line = "pactl " + arguments + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

bool PulseServer::unloadSink() {
    return command("unload-module module-null-sink");
}

void PulseServer::playTone(double hertz) {
    stopTone();
    toneStopping_.store(false);
    tone_ = std::thread([this, hertz] {
        const pa_sample_spec spec{PA_SAMPLE_S16NE, 44100, 2};
        // A short buffer, so that the tone is in the sink at once rather than after seconds.
        pa_buffer_attr attributes{};
        attributes.maxlength = attributes.minreq = attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.tlength = 44100 * 4 / 20;
        pa_simple* stream = pa_simple_new(nullptr, "test", PA_STREAM_PLAYBACK, kSink, "tone", &spec, nullptr,
                                          &attributes, nullptr);
        if (stream == nullptr) return;
        std::vector<std::int16_t> block(1024 * 2);
        double phase = 0;
        while (!toneStopping_.load()) {
            for (std::size_t i = 0; i < block.size(); i += 2) {
                block[i] = block[i + 1] = static_cast<std::int16_t>(12000 * std::sin(phase));
                phase = std::fmod(phase + 2 * M_PI * hertz / 44100, 2 * M_PI);
            }
            if (pa_simple_write(stream, block.data(), block.size() * 2, nullptr) < 0) break;
        }
        pa_simple_free(stream);
    });
}

void PulseServer::stopTone() {
    toneStopping_.store(true);
    if (tone_.joinable()) tone_.join();
}

}  // namespace test
