#pragma once
// MPEG-1 audio layer II encoding of interleaved 16-bit PCM, a frame of 1152 samples at a time,
// with libavcodec's encoder (the one stock command-line encoders use). Encoding in the
// streamer's own thread lets it hand libvlc's muxer several frames as one block, so that they
// share one PES packet.

#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace audio {

class AvCodecLibrary;

class MpegAudioEncoder {
public:
    static constexpr int kFrameSamples = 1152;

    // Throws std::runtime_error when libavcodec cannot be opened, has no such encoder or refuses the
    // format.
    MpegAudioEncoder(int rate, int channels, int bitrateKbps);
    ~MpegAudioEncoder();
    MpegAudioEncoder(const MpegAudioEncoder&) = delete;
    MpegAudioEncoder& operator=(const MpegAudioEncoder&) = delete;

    // Encodes one frame (kFrameSamples samples of every channel, interleaved) and appends what
    // the encoder gives to `out`; false when the encoder failed.
    bool encode(const std::int16_t* samples, std::vector<std::uint8_t>& out);

private:
    void release();

    const AvCodecLibrary& av_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::int64_t next_ = 0;  // the next frame's time stamp, in samples
};

}  // namespace audio
