#include "audio/AvCodecLibrary.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace audio {
namespace {

// The library stays open to the end of the process: encoders of any stream may use it.
void* openLibrary() {
    void* library = dlopen(MELVOX_AVCODEC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        throw std::runtime_error(std::string("cannot open " MELVOX_AVCODEC_LIBRARY ": ") +
                                 (error ? error : "unknown error"));
    }
    return library;
}

template <class Function>
void bind(void* library, Function& function, const char* name) {
    // Searched in the library and the libraries it needs, where libavutil's functions are.
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (function == nullptr) throw std::runtime_error(std::string(MELVOX_AVCODEC_LIBRARY " lacks ") + name);
}

}  // namespace

const AvCodecLibrary& AvCodecLibrary::get() {
    static const AvCodecLibrary library;
    return library;
}

AvCodecLibrary::AvCodecLibrary() {
    void* const library = openLibrary();
    bind(library, findEncoder, "avcodec_find_encoder");
    bind(library, allocContext, "avcodec_alloc_context3");
    bind(library, open, "avcodec_open2");
    bind(library, freeContext, "avcodec_free_context");
    bind(library, sendFrame, "avcodec_send_frame");
    bind(library, receivePacket, "avcodec_receive_packet");
    bind(library, packetAlloc, "av_packet_alloc");
    bind(library, packetUnref, "av_packet_unref");
    bind(library, packetFree, "av_packet_free");
    bind(library, frameAlloc, "av_frame_alloc");
    bind(library, frameGetBuffer, "av_frame_get_buffer");
    bind(library, frameMakeWritable, "av_frame_make_writable");
    bind(library, frameFree, "av_frame_free");
    bind(library, channelLayoutDefault, "av_channel_layout_default");
    bind(library, channelLayoutCopy, "av_channel_layout_copy");
}

}  // namespace audio
