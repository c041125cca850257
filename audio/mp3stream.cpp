#include "audio/mp3stream.h"

#include "audio/InputPlugin.h"
#include "foundation/Place.h"

namespace {
// A second of PCM: what a source may write ahead of the stream.
constexpr std::size_t kQueueBytes = MELVOX_PCM_RATE * MELVOX_PCM_CHANNELS * MELVOX_PCM_BITS / 8;
// Three frames (78 ms) fill a PES packet of seven transport packets, one datagram, with room for
// two clock references; the latency they add does not matter to background music.
constexpr int kFramesPerPes = 3;

audio::StreamTarget withFramesPerPes(audio::StreamTarget target) {
    target.framesPerPes = kFramesPerPes;
    return target;
}
}  // namespace

mp3stream::mp3stream(const audio::StreamTarget& target)
    : target_(withFramesPerPes(target)), queue_(kQueueBytes), sender_(queue_, "mp3stream") {}

mp3stream* mp3stream_init(const audio::StreamTarget& target) {
    debug::Place("mp3stream_init")
        .info(L"Common stream %1%:%2%, %3% kbit/s", target.group, target.port, target.bitrateKbps);
    return new mp3stream(target);
}

bool mp3stream_start(mp3stream* stream) {
    if (stream == nullptr) return false;
    if (stream->sender().running()) return true;
    return stream->sender().start(stream->target());
}

void mp3stream_stop(mp3stream* stream) {
    if (stream != nullptr) stream->sender().stop();
}

bool mp3stream_is_running(mp3stream* stream) {
    return stream != nullptr && stream->sender().running();
}

void mp3stream_free(mp3stream* stream) {
    if (stream == nullptr) return;
    stream->sender().stop();
    delete stream;
}
