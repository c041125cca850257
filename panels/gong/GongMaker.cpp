// Makes the program's default gong: three bell strokes falling from G to E to C, each a
// fundamental with a few inharmonic partials dying away, encoded as a 128 kbit/s MP3.
//
//     gong_maker <output.mp3>

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

struct Partial {
    double ratio;
    double amplitude;
    // Seconds until the partial has fallen to 1/e.
    double decay;
};
constexpr Partial kBell[] = {{1.0, 1.0, 0.9}, {2.0, 0.45, 0.5}, {2.76, 0.25, 0.35}, {5.4, 0.08, 0.15}};

std::vector<short> strokes() {
    const double notes[] = {784.0, 659.25, 523.25};
    const double spacing = 0.5;
    const double length = spacing * 2 + 1.8;
    std::vector<double> mix(static_cast<std::size_t>(length * kRate), 0.0);
    for (std::size_t note = 0; note < 3; ++note) {
        const auto start = static_cast<std::size_t>(note * spacing * kRate);
        for (std::size_t i = start; i < mix.size(); ++i) {
            const double t = static_cast<double>(i - start) / kRate;
            // A short attack keeps the stroke from clicking.
            const double attack = std::min(1.0, t / 0.004);
            for (const Partial& partial : kBell) {
                mix[i] += attack * partial.amplitude * std::exp(-t / partial.decay) *
                          std::sin(2 * kPi * notes[note] * partial.ratio * t);
            }
        }
    }
    std::vector<short> pcm(mix.size());
    for (std::size_t i = 0; i < mix.size(); ++i) pcm[i] = static_cast<short>(mix[i] * 0.3 * 32767);
    return pcm;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gong_maker <output.mp3>\n");
        return 2;
    }
    const std::vector<short> pcm = strokes();
    lame_global_flags* flags = lame_init();
    lame_set_in_samplerate(flags, kRate);
    lame_set_num_channels(flags, 2);
    lame_set_brate(flags, 128);
    if (lame_init_params(flags) < 0) return 1;
    std::vector<unsigned char> mp3(pcm.size() * 5 / 4 + 7200);
    int size = lame_encode_buffer(flags, pcm.data(), pcm.data(), static_cast<int>(pcm.size()), mp3.data(),
                                  static_cast<int>(mp3.size()));
    if (size < 0) return 1;
    const int tail = lame_encode_flush(flags, mp3.data() + size, static_cast<int>(mp3.size()) - size);
    lame_close(flags);
    if (tail < 0) return 1;
    size += tail;
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) return 1;
    const bool written =
        std::fwrite(mp3.data(), 1, static_cast<std::size_t>(size), file) == static_cast<std::size_t>(size);
    return std::fclose(file) == 0 && written ? 0 : 1;
}
