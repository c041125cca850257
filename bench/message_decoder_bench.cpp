// How long the priority stream's decoder takes to refuse a message file that holds no MPEG audio
// (a WAV file under an MP3 name) of 1, 4, 8 and 12 MB, beside the floor: reading the same file
// once, in the same run; and how long it takes to decode a valid message, for scale. The aim:
// "refuse_ms" stays the same for every size while "read_ms" grows with it, so "refuse_in_reads"
// falls as the file grows (the search is bounded); it used to grow with the square of the size.

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <vector>

#include "audio/Mp3FileDecoder.h"
#include "foundation/TextConversion.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Reading the whole file once: the least any look at it costs.
double readMilliseconds(const std::string& path) {
    double best = 1e9;
    std::vector<char> buffer(64 * 1024);
    for (int n = 0; n < 3; ++n) {
        const auto start = Clock::now();
        std::ifstream in(path, std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        }
        best = std::min(best, millisecondsSince(start));
    }
    return best;
}

void BM_RefuseNonMpegFile(benchmark::State& state) {
    const std::size_t megabytes = static_cast<std::size_t>(state.range(0));
    test::TempFolder folder;
    const std::string path = folder.file("message.mp3");
    // 16-bit stereo at 44100 Hz: 176400 bytes a second.
    test::writeSineWav(path, 440, megabytes * 1024.0 * 1024.0 / 176400);
    const double floor = readMilliseconds(path);
    const auto sink = [](const std::int16_t*, std::size_t) { return true; };
    double refuse = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (audio::decodeMp3File(base::fromUtf8(path), sink) != audio::DecodeResult::failed)
            state.SkipWithError("the file was not refused");
        refuse += millisecondsSince(start);
        ++runs;
    }
    state.counters["refuse_ms"] = refuse / runs;
    state.counters["read_ms"] = floor;
    state.counters["refuse_in_reads"] = refuse / runs / floor;
}

void BM_DecodeMessage(benchmark::State& state) {
    const double megabytes = static_cast<double>(state.range(0));
    test::TempFolder folder;
    const std::string path = folder.file("message.mp3");
    // 128 kbit/s: 16000 bytes a second.
    if (!test::writeSineMp3(path, 440, megabytes * 1024 * 1024 / 16000)) state.SkipWithError("no lame");
    const double floor = readMilliseconds(path);
    const auto sink = [](const std::int16_t*, std::size_t) { return true; };
    double decode = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (audio::decodeMp3File(base::fromUtf8(path), sink) != audio::DecodeResult::done)
            state.SkipWithError("the message did not decode");
        decode += millisecondsSince(start);
        ++runs;
    }
    state.counters["decode_ms"] = decode / runs;
    state.counters["read_ms"] = floor;
}

BENCHMARK(BM_RefuseNonMpegFile)
    ->Arg(1)
    ->Arg(4)
    ->Arg(8)
    ->Arg(12)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeMessage)->Arg(1)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
