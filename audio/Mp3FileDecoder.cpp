#include "audio/Mp3FileDecoder.h"

#include <lame/lame.h>

#include <fstream>
#include <limits>
#include <memory>

#include "audio/InputPlugin.h"
#include "foundation/TextConversion.h"

namespace audio {
namespace {

constexpr std::size_t kChunk = 4096;
// More than any MPEG audio frame gives.
constexpr std::size_t kFrameRoom = 4608;
constexpr int kEmptyCalls = 4;

// Turns one decoded frame into stereo at the stream's rate (linear interpolation).
class Converter {
public:
    bool put(const short* left, const short* right, int count, int rate, bool stereo, const PcmSink& sink) {
        out_.clear();
        if (rate <= 0) return true;
        const double step = static_cast<double>(rate) / MELVOX_PCM_RATE;
        for (; position_ < count; position_ += step) {
            const int at = static_cast<int>(position_);
            const double weight = position_ - at;
            const int next = at + 1 < count ? at + 1 : at;
            const auto mix = [&](const short* channel) {
                return static_cast<std::int16_t>(channel[at] + weight * (channel[next] - channel[at]));
            };
            out_.push_back(mix(left));
            out_.push_back(mix(stereo ? right : left));
        }
        position_ -= count;
        return out_.empty() || sink(out_.data(), out_.size() / 2);
    }

private:
    double position_ = 0;
    std::vector<std::int16_t> out_;
};

// Decodes at most `limit` bytes of the file.
DecodeResult decode(const std::wstring& path, const PcmSink& sink, std::size_t limit) {
    std::ifstream in(base::toUtf8(path), std::ios::binary);
    if (!in) return DecodeResult::failed;
    std::unique_ptr<hip_global_flags, int (*)(hip_t)> decoder(hip_decode_init(), hip_decode_exit);
    if (!decoder) return DecodeResult::failed;
    hip_set_errorf(decoder.get(), nullptr);
    std::vector<unsigned char> chunk(kChunk);
    std::vector<short> left(kFrameRoom), right(kFrameRoom);
    mp3data_struct header{};
    Converter converter;
    bool decodedAny = false;
    for (std::size_t read = 0; in && read < limit; read += kChunk) {
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
        const auto size = static_cast<std::size_t>(in.gcount());
        if (size == 0) break;
        int produced =
            hip_decode1_headers(decoder.get(), chunk.data(), size, left.data(), right.data(), &header);
        // One call gives at most one frame. A frame without samples (the encoder's tag) or one
        // that does not read (damage) gives none, and frames may still wait behind it: only a
        // few empty calls in a row mean that the decoder needs more bytes.
        for (int empty = 0; empty < kEmptyCalls;) {
            if (produced > 0) {
                empty = 0;
                decodedAny = true;
                if (!converter.put(left.data(), right.data(), produced, header.samplerate, header.stereo == 2,
                                   sink))
                    return DecodeResult::stopped;
            } else {
                ++empty;
            }
            produced = hip_decode1_headers(decoder.get(), nullptr, 0, left.data(), right.data(), &header);
        }
    }
    return decodedAny ? DecodeResult::done : DecodeResult::failed;
}

}  // namespace

DecodeResult decodeMp3File(const std::wstring& path, const PcmSink& sink) {
    return decode(path, sink, std::numeric_limits<std::size_t>::max());
}

bool canDecodeMp3File(const std::wstring& path) {
    // An MPEG audio frame within the first bytes, past any tag at the start.
    constexpr std::size_t kProbeBytes = 256 * 1024;
    const auto firstFrame = [](const std::int16_t*, std::size_t) { return false; };
    return decode(path, firstFrame, kProbeBytes) == DecodeResult::stopped;
}

}  // namespace audio
