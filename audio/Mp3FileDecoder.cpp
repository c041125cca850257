#include "audio/Mp3FileDecoder.h"

#include <lame/lame.h>

#include <fstream>
#include <memory>

#include "audio/InputPlugin.h"
#include "foundation/TextConversion.h"

namespace audio {
namespace {

constexpr std::size_t kChunk = 4096;
// More than any MPEG audio frame gives.
constexpr std::size_t kFrameRoom = 4608;

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

DecodeResult decodeMp3File(const std::wstring& path, const PcmSink& sink) {
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
    while (in) {
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
        const auto size = static_cast<std::size_t>(in.gcount());
        if (size == 0) break;
        int produced =
            hip_decode1_headers(decoder.get(), chunk.data(), size, left.data(), right.data(), &header);
        // A negative count is a frame the decoder could not read (a tag, damage): it goes on with
        // the next bytes.
        while (produced > 0) {
            decodedAny = true;
            if (!converter.put(left.data(), right.data(), produced, header.samplerate, header.stereo == 2,
                               sink))
                return DecodeResult::stopped;
            produced = hip_decode1_headers(decoder.get(), nullptr, 0, left.data(), right.data(), &header);
        }
    }
    return decodedAny ? DecodeResult::done : DecodeResult::failed;
}

}  // namespace audio
