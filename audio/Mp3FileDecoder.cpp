#include "audio/Mp3FileDecoder.h"

#include <lame/lame.h>

#include <fstream>
#include <memory>

#include "audio/InputPlugin.h"
#include "audio/MpegFrameReader.h"
#include "foundation/TextConversion.h"

namespace audio {
namespace {

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

}  // namespace

DecodeResult decodeMp3File(const std::wstring& path, const PcmSink& sink, const StopCheck& stopRequested) {
    std::ifstream in(base::toUtf8(path), std::ios::binary);
    if (!in) return DecodeResult::failed;
    std::unique_ptr<hip_global_flags, int (*)(hip_t)> decoder(hip_decode_init(), hip_decode_exit);
    if (!decoder) return DecodeResult::failed;
    hip_set_errorf(decoder.get(), nullptr);
    std::vector<short> left(kFrameRoom), right(kFrameRoom);
    mp3data_struct header{};
    Converter converter;
    bool decodedAny = false;
    // The decoder is handed whole frames only: it keeps what it cannot sync on and searches it
    // again at every call, which made a file without frames cost the square of its size.
    MpegFrameReader frames(in);
    while (const auto frame = frames.next()) {
        if (stopRequested && stopRequested()) return DecodeResult::stopped;
        int produced = hip_decode1_headers(decoder.get(), const_cast<unsigned char*>(frame->data),
                                           frame->size, left.data(), right.data(), &header);
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

bool canDecodeMp3File(const std::wstring& path) {
    // The first frame that decodes; the search for it is bounded.
    const auto firstFrame = [](const std::int16_t*, std::size_t) { return false; };
    return decodeMp3File(path, firstFrame) == DecodeResult::stopped;
}

}  // namespace audio
