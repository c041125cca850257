#pragma once
// The common streamer: the PCM queue that the player engine's sources write into and the
// multicast stream that carries it to the base port plus one. A plain handle with functions
// over it; start-up sets it up and starts it at once unless `multicast.zeroPing` is set, and the
// player engine starts and stops it around playing otherwise.

#include "audio/PcmQueue.h"
#include "audio/StreamSender.h"
#include "audio/StreamTarget.h"

class mp3stream {
public:
    explicit mp3stream(const audio::StreamTarget& target);

    audio::PcmQueue& queue() { return queue_; }
    const audio::StreamTarget& target() const { return target_; }
    audio::StreamSender& sender() { return sender_; }

private:
    const audio::StreamTarget target_;
    audio::PcmQueue queue_;
    audio::StreamSender sender_;
};

// Sets up the common streamer for the target; nothing is sent yet.
mp3stream* mp3stream_init(const audio::StreamTarget& target);
// Starts sending; true when the stream runs (also when it ran already).
bool mp3stream_start(mp3stream* stream);
void mp3stream_stop(mp3stream* stream);
bool mp3stream_is_running(mp3stream* stream);
// Stops the stream and deletes it.
void mp3stream_free(mp3stream* stream);
