// How long the program takes from its start to its main window on the screen, and from the
// window's close to the end of the process, each beside a bare program of the window toolkit
// that opens one frame, measured alternately in the same run. The probes of the network
// interface and of a stream already playing are measured on their own and left out of the
// start-up's excess. Aims: the excess within 1.5 s, the shutdown under 1 s.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "foundation/NetworkInterfaces.h"
#include "foundation/NetworkProbes.h"
#include "support/ProgramUnderTest.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Phases {
    double startup = 0;   // seconds to the window on the screen
    double shutdown = 0;  // seconds from the close request to the end of the process
};

// One start and close of a program on the private X server.
Phases runOnce(test::ProgramUnderTest& program, const std::string& binary) {
    Phases phases;
    const auto start = Clock::now();
    test::ProgramRun run(binary, {},
                         {{"LOCALAPPDATA", program.dataRoot()}, {"DISPLAY", program.screen().display()}});
    const unsigned long window = program.screen().waitForWindow(run.pid());
    const auto shown = Clock::now();
    program.screen().closeWindow(window);
    const bool ended = run.wait().has_value();
    const auto end = Clock::now();
    if (window == 0 || !ended) return Phases{-1, -1};
    phases.startup = std::chrono::duration<double>(shown - start).count();
    phases.shutdown = std::chrono::duration<double>(end - shown).count();
    return phases;
}

void BM_StartupAndShutdown(benchmark::State& state) {
    test::ProgramUnderTest program;
    // The probes of start-up step 8, as the program runs them with these settings.
    const auto probeStart = Clock::now();
    os::getNetworkInterfaceList();
    os::hasStream(("224.0.224.1:" + std::to_string(program.basePort() + 1)).c_str(), "127.0.0.1");
    const double probes = std::chrono::duration<double>(Clock::now() - probeStart).count();

    Phases bare, melvox;
    int runs = 0;
    for (auto _ : state) {
        const Phases floor = runOnce(program, MELVOX_BARE_FRAME);
        const Phases measured = runOnce(program, MELVOX_PROGRAM);
        if (floor.startup < 0 || measured.startup < 0) {
            state.SkipWithError("a program did not show its window or did not end");
            return;
        }
        bare.startup += floor.startup;
        bare.shutdown += floor.shutdown;
        melvox.startup += measured.startup;
        melvox.shutdown += measured.shutdown;
        ++runs;
    }
    const auto milliseconds = [&](double total) { return 1000 * total / runs; };
    state.counters["bare_startup_ms"] = milliseconds(bare.startup);
    state.counters["startup_ms"] = milliseconds(melvox.startup);
    state.counters["probes_ms"] = 1000 * probes;
    state.counters["startup_excess_ms"] = milliseconds(melvox.startup - bare.startup) - 1000 * probes;
    state.counters["startup_ratio"] = melvox.startup / bare.startup;
    state.counters["bare_shutdown_ms"] = milliseconds(bare.shutdown);
    state.counters["shutdown_ms"] = milliseconds(melvox.shutdown);
}
BENCHMARK(BM_StartupAndShutdown)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
