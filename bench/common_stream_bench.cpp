// The cost of the common stream beside a stock command-line encoder making the same 128 kbit/s
// MPEG-1 Layer II transport stream of the same file to a group of its own, both measured from
// outside in the same run: the program's side runs as common_streamer (input plug-in, PCM queue,
// streamer), the floor as Debian's ffmpeg. In the steady part of each stream: CPU time of every
// thread of the process and its thread switches over audio time, and bytes on the wire (UDP
// payload and the IP and UDP headers) a second; over the whole stream, the longest step between
// program clock references. Also the time from Player::play to the first datagram, beside the
// stock encoder's time from its start to its first datagram. Run inside scripts/netns.sh.

#include <benchmark/benchmark.h>
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/Player.h"
#include "audio/PlayerEngine.h"
#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/ProgramRun.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFileSeconds = 12;
// From the first datagram to the start of the steady part, and the steady part measured.
constexpr std::chrono::seconds kSettle{2};
constexpr std::chrono::seconds kWindow{7};
// IPv4 and UDP headers of every datagram.
constexpr std::size_t kHeaderBytes = 28;

std::string stockEncoder() {
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        const std::string path = std::string(folder) + "ffmpeg";
        if (std::ifstream(path).good()) return path;
    }
    return std::string();
}

// The stock encoder's command for a file and a destination, as its users write it.
std::vector<std::string> stockArguments(const std::string& file, const std::string& group,
                                        std::uint16_t port) {
    return {"-nostdin",
            "-loglevel",
            "error",
            "-re",
            "-i",
            file,
            "-c:a",
            "mp2",
            "-b:a",
            "128k",
            "-f",
            "mpegts",
            "udp://" + group + ":" + std::to_string(port) + "?pkt_size=1316&ttl=1"};
}

// What every thread of a process has spent on a CPU, and its thread switches, so far.
struct ProcessUsage {
    double cpuSeconds = 0;
    double switches = 0;
};

ProcessUsage usageOf(pid_t pid) {
    ProcessUsage usage;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = ::opendir(tasks.c_str());
    if (folder == nullptr) return usage;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.') continue;
        const std::string task = tasks + "/" + entry->d_name;
        // The first number: nanoseconds on a CPU.
        std::ifstream schedule(task + "/schedstat");
        double nanoseconds = 0;
        if (schedule >> nanoseconds) usage.cpuSeconds += nanoseconds / 1e9;
        std::ifstream status(task + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                usage.switches += std::stod(line.substr(line.find(':') + 1));
        }
    }
    ::closedir(folder);
    return usage;
}

struct StreamFigures {
    double cpuPercent = 0;  // CPU time over audio time, in percent of one core
    double switchesPerSecond = 0;
    double bytesPerSecond = 0;  // on the wire
    double longestPcrGapMs = 0;
    int continuityErrors = 0;
    bool ok = false;
};

// Runs a program that streams the file to group:port and measures it from outside.
StreamFigures measureStream(const std::string& binary, const std::vector<std::string>& arguments,
                            const std::string& group, std::uint16_t port) {
    StreamFigures figures;
    test::StreamReceiver receiver(group, port);
    test::ProgramRun run(binary, arguments, {});
    if (!receiver.waitForCount(1)) return figures;
    std::this_thread::sleep_for(kSettle);
    const ProcessUsage before = usageOf(run.pid());
    const auto start = Clock::now();
    std::this_thread::sleep_for(kWindow);
    const ProcessUsage after = usageOf(run.pid());
    const auto end = Clock::now();
    if (!run.wait(std::chrono::seconds(static_cast<int>(kFileSeconds) + 20)).has_value()) return figures;
    const double seconds = std::chrono::duration<double>(end - start).count();
    double bytes = 0;
    std::vector<std::string> payloads;
    for (const auto& datagram : receiver.datagrams()) {
        if (test::isKeepAlive(datagram.data)) continue;
        payloads.push_back(datagram.data);
        if (datagram.time > start && datagram.time <= end) bytes += datagram.data.size() + kHeaderBytes;
    }
    const test::TransportStream stream = test::readTransportStream(payloads);
    figures.cpuPercent = 100 * (after.cpuSeconds - before.cpuSeconds) / seconds;
    figures.switchesPerSecond = (after.switches - before.switches) / seconds;
    figures.bytesPerSecond = bytes / seconds;
    figures.longestPcrGapMs = test::longestPcrGapMs(stream.pcrs);
    figures.continuityErrors = stream.continuityErrors;
    figures.ok = !stream.pcrs.empty() && stream.malformed == 0;
    return figures;
}

struct InputFile {
    InputFile() { test::writeSineMp3(path, 1000, kFileSeconds); }
    test::TempFolder folder;
    const std::string path = folder.file("tone.mp3");
};

const InputFile& inputFile() {
    static InputFile file;
    return file;
}

// The stock encoder and the program's streamer, one after the other in every iteration.
void BM_CommonStreamBesideStockEncoder(benchmark::State& state) {
    const std::string stock = stockEncoder();
    if (stock.empty()) {
        state.SkipWithError("ffmpeg is not installed (scripts/setup.sh installs it)");
        return;
    }
    const std::string group = test::privateMulticastGroup();
    StreamFigures floor, program;
    int runs = 0;
    for (auto _ : state) {
        const std::uint16_t stockPort = test::freeUdpPort();
        const std::uint16_t programPort = test::freeUdpPort();
        const StreamFigures floorRun =
            measureStream(stock, stockArguments(inputFile().path, group, stockPort), group, stockPort);
        const StreamFigures programRun =
            measureStream(MELVOX_COMMON_STREAMER, {inputFile().path, group, std::to_string(programPort)},
                          group, programPort);
        if (!floorRun.ok || !programRun.ok) {
            state.SkipWithError("a stream did not come or had no clock references");
            return;
        }
        floor.cpuPercent += floorRun.cpuPercent;
        floor.switchesPerSecond += floorRun.switchesPerSecond;
        floor.bytesPerSecond += floorRun.bytesPerSecond;
        floor.longestPcrGapMs = std::max(floor.longestPcrGapMs, floorRun.longestPcrGapMs);
        program.cpuPercent += programRun.cpuPercent;
        program.switchesPerSecond += programRun.switchesPerSecond;
        program.bytesPerSecond += programRun.bytesPerSecond;
        program.longestPcrGapMs = std::max(program.longestPcrGapMs, programRun.longestPcrGapMs);
        program.continuityErrors += programRun.continuityErrors;
        ++runs;
    }
    state.counters["stock_cpu_pct"] = floor.cpuPercent / runs;
    state.counters["cpu_pct"] = program.cpuPercent / runs;
    state.counters["cpu_ratio"] = program.cpuPercent / floor.cpuPercent;
    state.counters["stock_bytes_s"] = floor.bytesPerSecond / runs;
    state.counters["bytes_s"] = program.bytesPerSecond / runs;
    state.counters["bytes_ratio"] = program.bytesPerSecond / floor.bytesPerSecond;
    state.counters["stock_switches_s"] = floor.switchesPerSecond / runs;
    state.counters["switches_s"] = program.switchesPerSecond / runs;
    state.counters["stock_pcr_gap_ms"] = floor.longestPcrGapMs;
    state.counters["pcr_gap_ms"] = program.longestPcrGapMs;
    state.counters["cc_errors"] = program.continuityErrors;
}
BENCHMARK(BM_CommonStreamBesideStockEncoder)->Iterations(2)->Unit(benchmark::kSecond);

struct World {
    World() {
        base::ThreadDispatcher::create();
        store = pref_init(L"");
        pref::instanceSlot().install(store);
        pref::setString(setting::multicastAddress.key, group);
        pref::setInt(setting::multicastBasePort.key, port);
        pref::setString(setting::netInterfaceIp.key, "127.0.0.1");
        stream = mp3stream_init(audio::streamTargetFromSettings(audio::kCommonStreamOffset,
                                                                setting::multicastCommonStreamBitrate));
        engine = player_engine_init(L"" MELVOX_PLUGIN_DIR, stream);
        player = std::make_unique<Player>(engine);
    }
    ~World() {
        player.reset();
        player_engine_free(engine);
        mp3stream_free(stream);
        base::ThreadDispatcher::destroy();
        delete pref::instanceSlot().release();
    }
    const std::string group = test::privateMulticastGroup();
    const std::uint16_t port = test::freeUdpPort();
    pref* store = nullptr;
    mp3stream* stream = nullptr;
    PlayerEngine* engine = nullptr;
    std::unique_ptr<Player> player;
};

// Time to the first datagram that is not a keep-alive.
double millisecondsToFirstDatagram(const test::StreamReceiver& receiver, Clock::time_point start) {
    const auto isStream = [](const test::StreamReceiver::Datagram& datagram) {
        return !test::isKeepAlive(datagram.data);
    };
    receiver.waitUntil([&](const std::vector<test::StreamReceiver::Datagram>& all) {
        return std::any_of(all.begin(), all.end(), isStream);
    });
    for (const auto& datagram : receiver.datagrams())
        if (isStream(datagram))
            return std::chrono::duration<double, std::milli>(datagram.time - start).count();
    return 0;
}

// Player::play on a running program to the first datagram of the stream; beside it, the stock
// encoder's start to its first datagram of the same file, alternately in the same run.
void BM_PlayToFirstDatagram(benchmark::State& state) {
    const std::string stock = stockEncoder();
    if (stock.empty()) {
        state.SkipWithError("ffmpeg is not installed (scripts/setup.sh installs it)");
        return;
    }
    World world;
    test::StreamReceiver receiver(world.group, static_cast<std::uint16_t>(world.port + 1));
    double program = 0, floor = 0;
    int runs = 0;
    for (auto _ : state) {
        auto playlist = std::make_shared<Playlist>(L"bench", false);
        playlist->add(L"tone", base::fromUtf8(inputFile().path));
        receiver.clear();
        const auto start = Clock::now();
        world.player->play(playlist);
        const double played = millisecondsToFirstDatagram(receiver, start);
        state.SetIterationTime(played / 1000);
        program += played;
        world.player->stop(false);

        const std::uint16_t stockPort = test::freeUdpPort();
        test::StreamReceiver stockReceiver(world.group, stockPort);
        const auto stockStart = Clock::now();
        test::ProgramRun run(stock, stockArguments(inputFile().path, world.group, stockPort), {});
        floor += millisecondsToFirstDatagram(stockReceiver, stockStart);
        run.kill(SIGTERM);
        run.wait();
        ++runs;
    }
    state.counters["stock_first_ms"] = floor / runs;
    state.counters["first_ms"] = program / runs;
    state.counters["ratio"] = program / floor;
}
BENCHMARK(BM_PlayToFirstDatagram)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
