#include "audio/MpegAudioEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cstring>
#include <stdexcept>
#include <string>

namespace audio {

MpegAudioEncoder::MpegAudioEncoder(int rate, int channels, int bitrateKbps) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    if (codec == nullptr) throw std::runtime_error("no MPEG audio layer II encoder in libavcodec");
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        release();
        throw std::bad_alloc();
    }
    context_->sample_fmt = AV_SAMPLE_FMT_S16;
    context_->sample_rate = rate;
    context_->bit_rate = static_cast<std::int64_t>(bitrateKbps) * 1000;
    av_channel_layout_default(&context_->ch_layout, channels);
    int result = avcodec_open2(context_, codec, nullptr);
    if (result >= 0) {
        frame_->format = AV_SAMPLE_FMT_S16;
        frame_->sample_rate = rate;
        frame_->nb_samples = kFrameSamples;
        result = av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout);
        if (result >= 0) result = av_frame_get_buffer(frame_, 0);
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
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
}

bool MpegAudioEncoder::encode(const std::int16_t* samples, std::vector<std::uint8_t>& out) {
    if (av_frame_make_writable(frame_) < 0) return false;
    std::memcpy(
        frame_->data[0], samples,
        static_cast<std::size_t>(kFrameSamples) * context_->ch_layout.nb_channels * sizeof(std::int16_t));
    frame_->pts = next_;
    next_ += kFrameSamples;
    if (avcodec_send_frame(context_, frame_) < 0) return false;
    for (;;) {
        const int result = avcodec_receive_packet(context_, packet_);
        if (result == AVERROR(EAGAIN)) return true;
        if (result < 0) return false;
        out.insert(out.end(), packet_->data, packet_->data + packet_->size);
        av_packet_unref(packet_);
    }
}

}  // namespace audio
