#include "audio/MpegAudioEncoder.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "audio/AvCodecLibrary.h"

namespace audio {

MpegAudioEncoder::MpegAudioEncoder(int rate, int channels, int bitrateKbps) : av_(AvCodecLibrary::get()) {
    const AVCodec* codec = av_.findEncoder(AV_CODEC_ID_MP2);
    if (codec == nullptr) throw std::runtime_error("no MPEG audio layer II encoder in libavcodec");
    context_ = av_.allocContext(codec);
    frame_ = av_.frameAlloc();
    packet_ = av_.packetAlloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        release();
        throw std::bad_alloc();
    }
    context_->sample_fmt = AV_SAMPLE_FMT_S16;
    context_->sample_rate = rate;
    context_->bit_rate = static_cast<std::int64_t>(bitrateKbps) * 1000;
    av_.channelLayoutDefault(&context_->ch_layout, channels);
    int result = av_.open(context_, codec, nullptr);
    if (result >= 0) {
        frame_->format = AV_SAMPLE_FMT_S16;
        frame_->sample_rate = rate;
        frame_->nb_samples = kFrameSamples;
        result = av_.channelLayoutCopy(&frame_->ch_layout, &context_->ch_layout);
        if (result >= 0) result = av_.frameGetBuffer(frame_, 0);
    }
    if (result < 0) {
        release();
        throw std::runtime_error("MPEG audio encoder refused " + std::to_string(rate) + " Hz, " +
                                 std::to_string(channels) + " channels, " + std::to_string(bitrateKbps) +
                                 " kbit/s (" + std::to_string(result) + ")");
    }
}

MpegAudioEncoder::~MpegAudioEncoder() {
    release();
}

void MpegAudioEncoder::release() {
    av_.packetFree(&packet_);
    av_.frameFree(&frame_);
    av_.freeContext(&context_);
}

bool MpegAudioEncoder::encode(const std::int16_t* samples, std::vector<std::uint8_t>& out) {
    if (av_.frameMakeWritable(frame_) < 0) return false;
    std::memcpy(
        frame_->data[0], samples,
        static_cast<std::size_t>(kFrameSamples) * context_->ch_layout.nb_channels * sizeof(std::int16_t));
    frame_->pts = next_;
    next_ += kFrameSamples;
    if (av_.sendFrame(context_, frame_) < 0) return false;
    for (;;) {
        const int result = av_.receivePacket(context_, packet_);
        if (result == AVERROR(EAGAIN)) return true;
        if (result < 0) return false;
        out.insert(out.end(), packet_->data, packet_->data + packet_->size);
        av_.packetUnref(packet_);
    }
}

}  // namespace audio
