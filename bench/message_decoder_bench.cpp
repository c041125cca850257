// How long the priority stream's decoder takes to refuse a message file that holds no MPEG audio
// (a WAV file under an MP3 name) of 1, 4, 8 and 12 MB, beside the floor: reading the same file
// once, in the same run; and how long it takes to decode a valid message, beside the floor of
// libmp3lame's decoder fed the same file plainly in blocks, in the same run. Each prints its floor
// ("floor_ms") and its time over the floor ("ratio"). The aim of the refusal: "refuse_ms" stays the
// same for every size while the floor grows with it, so the ratio falls as the file grows (the
// search is bounded); it used to grow with the square of the size. The decoding has no aim yet.

#include <benchmark/benchmark.h>
#include <lame/lame.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <vector>

#include "audio/Mp3FileDecoder.h"
#include "bench/FloorRatio.h"
#include "foundation/TextConversion.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The stock decoder over the whole file, fed in blocks as they are read, every frame it holds
// decoded; the best of three. Returns the milliseconds and the samples decoded.
double plainDecodeMilliseconds(const std::string& path, std::size_t& samples) {
    double best = 1e9;
    std::vector<unsigned char> block(4096);
    // Room for every frame the decoder can give for one call.
    std::vector<short> left(4608), right(4608);
    for (int n = 0; n < 3; ++n) {
        samples = 0;
        const auto start = Clock::now();
        std::unique_ptr<hip_global_flags, int (*)(hip_t)> decoder(hip_decode_init(), hip_decode_exit);
        hip_set_errorf(decoder.get(), nullptr);
        std::ifstream in(path, std::ios::binary);
        while (in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size())) ||
               in.gcount() > 0) {
            int produced = hip_decode1(decoder.get(), block.data(), static_cast<std::size_t>(in.gcount()),
                                       left.data(), right.data());
            while (produced > 0) {
                samples += static_cast<std::size_t>(produced);
                produced = hip_decode1(decoder.get(), nullptr, 0, left.data(), right.data());
            }
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
    const double floor = bench::millisecondsToRead(path);
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
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = refuse / runs / floor;
}

void BM_DecodeMessage(benchmark::State& state) {
    const double megabytes = static_cast<double>(state.range(0));
    test::TempFolder folder;
    const std::string path = folder.file("message.mp3");
    // 128 kbit/s: 16000 bytes a second.
    if (!test::writeSineMp3(path, 440, megabytes * 1024 * 1024 / 16000)) state.SkipWithError("no lame");
    std::size_t samples = 0;
    const double floor = plainDecodeMilliseconds(path, samples);
    if (samples == 0) state.SkipWithError("the stock decoder gave nothing");
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
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = decode / runs / floor;
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
