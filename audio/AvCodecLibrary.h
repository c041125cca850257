#pragma once
// libavcodec, opened when the first MPEG audio encoder is made rather than with the program: the
// library draws in some sixty others (video codecs among them) whose loading and linking would
// delay every start by tens of milliseconds, while the program encodes only once a stream runs.
// Only its headers and its library's name are built into the program.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace audio {

class AvCodecLibrary {
public:
    // The library's functions that the encoder calls (libavutil's come with it). The first call
    // opens it; throws std::runtime_error, and tries again at the next call, when it cannot be
    // opened or lacks a function.
    static const AvCodecLibrary& get();

    decltype(&avcodec_find_encoder) findEncoder = nullptr;
    decltype(&avcodec_alloc_context3) allocContext = nullptr;
    decltype(&avcodec_open2) open = nullptr;
    decltype(&avcodec_free_context) freeContext = nullptr;
    decltype(&avcodec_send_frame) sendFrame = nullptr;
    decltype(&avcodec_receive_packet) receivePacket = nullptr;
    decltype(&av_packet_alloc) packetAlloc = nullptr;
    decltype(&av_packet_unref) packetUnref = nullptr;
    decltype(&av_packet_free) packetFree = nullptr;
    decltype(&av_frame_alloc) frameAlloc = nullptr;
    decltype(&av_frame_get_buffer) frameGetBuffer = nullptr;
    decltype(&av_frame_make_writable) frameMakeWritable = nullptr;
    decltype(&av_frame_free) frameFree = nullptr;
    decltype(&av_channel_layout_default) channelLayoutDefault = nullptr;
    decltype(&av_channel_layout_copy) channelLayoutCopy = nullptr;

private:
    AvCodecLibrary();
};

}  // namespace audio
