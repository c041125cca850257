#pragma once
// Where and how a multicast audio stream is sent.

#include <cstdint>
#include <string>

namespace audio {

struct StreamTarget {
    std::string group;
    std::uint16_t port = 0;
    int ttl = 1;
    // The name of the interface to send on ("eth0"); empty leaves the choice to the system.
    std::string interfaceName;
    int bitrateKbps = 128;
    // MPEG audio frames (1152 samples each) in every PES packet: more frames cost fewer bytes of
    // packet headers and stuffing and fewer wake-ups, and each adds a frame's time of latency.
    int framesPerPes = 1;
    // Raw 16-bit PCM instead of MPEG audio in a transport stream (a debugging aid).
    bool rawPcm = false;
    // Also plays the stream on the computer's own sound output.
    bool localOutput = false;
    // Passes libvlc's own log lines to the log.
    bool libraryLog = false;
};

}  // namespace audio
