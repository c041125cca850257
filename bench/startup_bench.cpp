// How long the program takes from its start to its main window on the screen, and from the
// window's close to the end of the process, each beside a bare program of the window toolkit
// that opens one frame, the two started alternately in the same run.
//
// What the window time includes: everything the program does before its window shows (the
// toolkit, the logger and settings, the thread dispatcher, the transport, the window and its
// device view, the player engine and its plug-in, the state files) except the two probes of the
// network before it: the interface list and the 1.2 s wait for a stream already playing on the
// common group. That wait is a fixed timeout, timed apart with the same calls and settings beside
// every start and reported on its own (`probes_ms`); `window_ms` is the start to the window less
// it. The figures are the medians of the iterations, each program's own, so that one start
// slowed by the machine's load does not carry the figure. Aims: `window_ratio` (window over the
// bare frame) at most 2, the shutdown under 1 s.
//
// Two cases: `BM_StartupToWindow` starts the program with its interface set, as an installation
// runs it; the program builds its window while the probe waits, so `window_ms` is the operator's
// wait beyond that fixed one. `BM_StartupToWindowWithoutProbe` starts it with no interface set:
// the probe answers at once, nothing is done meanwhile, and `window_ms` is all of the program's
// own start-up work.

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/FloorRatio.h"
#include "foundation/NetworkInterfaces.h"
#include "foundation/NetworkProbes.h"
#include "support/ProgramUnderTest.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Phases {
    double startup = 0;   // seconds to the window on the screen
    double shutdown = 0;  // seconds from the close request to the end of the process
};

// One start and close of a program on the private X server; none when it failed.
std::optional<Phases> runOnce(test::ProgramUnderTest& program, const std::string& binary) {
    const auto start = Clock::now();
    test::ProgramRun run(binary, {},
                         {{"LOCALAPPDATA", program.dataRoot()}, {"DISPLAY", program.screen().display()}});
    const unsigned long window = program.screen().waitForWindow(run.pid());
    const auto shown = Clock::now();
    program.screen().closeWindow(window);
    const bool ended = run.wait().has_value();
    if (window == 0 || !ended) return std::nullopt;
    return Phases{std::chrono::duration<double>(shown - start).count(), secondsSince(shown)};
}

// The probes that the program runs before its window, with its settings.
double probeSeconds(const test::ProgramUnderTest& program, const std::string& interfaceIp) {
    const auto start = Clock::now();
    os::getNetworkInterfaceList();
    os::hasStream(("224.0.224.1:" + std::to_string(program.basePort() + 1)).c_str(), interfaceIp.c_str());
    return secondsSince(start);
}

double medianMilliseconds(const std::vector<double>& seconds) {
    return 1000 * bench::median(seconds);
}

void measureStartup(benchmark::State& state, const std::string& interfaceIp) {
    test::ProgramUnderTest program;
    if (interfaceIp.empty()) {
        std::ofstream(program.dataFile("melvoxd.cfg"), std::ios::trunc)
            << "multicast: { basePort = " << program.basePort() << "; };\n"
            << "security: { interfaceTimeout = 0; };\n"
            << "debug: { level = \"debug\"; };\n";
    }
    std::vector<double> bareStart, bareEnd, start, window, end, probes;
    for (auto _ : state) {
        const std::optional<Phases> floor = runOnce(program, MELVOX_BARE_FRAME);
        const double probe = probeSeconds(program, interfaceIp);
        const std::optional<Phases> measured = runOnce(program, MELVOX_PROGRAM);
        if (!floor || !measured) {
            state.SkipWithError("a program did not show its window or did not end");
            return;
        }
        bareStart.push_back(floor->startup);
        bareEnd.push_back(floor->shutdown);
        probes.push_back(probe);
        start.push_back(measured->startup);
        window.push_back(measured->startup - probe);
        end.push_back(measured->shutdown);
    }
    state.SetLabel("start to window less the network probes, medians");
    state.counters["bare_startup_ms"] = medianMilliseconds(bareStart);
    state.counters["window_ms"] = medianMilliseconds(window);
    state.counters["window_ratio"] = medianMilliseconds(window) / medianMilliseconds(bareStart);
    state.counters["probes_ms"] = medianMilliseconds(probes);
    state.counters["startup_ms"] = medianMilliseconds(start);
    state.counters["bare_shutdown_ms"] = medianMilliseconds(bareEnd);
    state.counters["shutdown_ms"] = medianMilliseconds(end);
}

void BM_StartupToWindow(benchmark::State& state) {
    measureStartup(state, "127.0.0.1");
}
BENCHMARK(BM_StartupToWindow)->Iterations(9)->Unit(benchmark::kMillisecond);

void BM_StartupToWindowWithoutProbe(benchmark::State& state) {
    measureStartup(state, "");
}
BENCHMARK(BM_StartupToWindowWithoutProbe)->Iterations(9)->Unit(benchmark::kMillisecond);

}  // namespace
