#include "audio/SineGenerator.h"

#include <pthread.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/InputPlugin.h"
#include "foundation/TextConversion.h"

namespace audio {
namespace {
constexpr double kAmplitude = 0.5 * 32767;
constexpr int kFrames = 1152;
}  // namespace

SineGenerator::~SineGenerator() {
    stop();
}

bool SineGenerator::validFrequency(double hertz) {
    return hertz >= 1 && hertz < MELVOX_PCM_RATE / 2.0;
}

void SineGenerator::start(PcmQueue& queue, double hertz) {
    stop();
    stopping_.store(false);
    thread_ = std::thread([this, &queue, hertz] { run(queue, hertz); });
}

void SineGenerator::stop() {
    stopping_.store(true);
    if (thread_.joinable()) thread_.join();
}

void SineGenerator::run(PcmQueue& queue, double hertz) {
    pthread_setname_np(pthread_self(), "sine generator");
    std::vector<std::int16_t> block(kFrames * MELVOX_PCM_CHANNELS);
    const double step = 2 * M_PI * hertz / MELVOX_PCM_RATE;
    double phase = 0;
    while (!stopping_.load()) {
        for (int frame = 0; frame < kFrames; ++frame) {
            const auto value = static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(phase)));
            for (int channel = 0; channel < MELVOX_PCM_CHANNELS; ++channel)
                block[frame * MELVOX_PCM_CHANNELS + channel] = value;
            phase = std::fmod(phase + step, 2 * M_PI);
        }
        if (!queue.write(block.data(), block.size() * sizeof(std::int16_t))) break;
    }
}

double sineFrequencyOf(const std::wstring& path) {
    const std::size_t scheme = path.find(L"://");
    if (scheme == std::wstring::npos) return 0;
    const std::string text = base::toUtf8(path.substr(scheme + 3));
    double hertz = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), hertz);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return 0;
    return SineGenerator::validFrequency(hertz) ? hertz : 0;
}

}  // namespace audio
