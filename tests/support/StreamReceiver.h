#pragma once
// The test's end of a multicast audio stream: a socket joined to the group on loopback that keeps
// every datagram, the reading of the MPEG transport stream they carry, the decoding of its MPEG
// audio (libmp3lame's decoder) and the strongest frequency of the decoded sound.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace test {

// Holds one libvlc instance for the rest of the process, so that libvlc's modules stay loaded
// and the leak check at exit can name (and find reachable) what they allocated.
void keepLibvlcLoaded();

// A multicast group of one test's own, so that tests running at once never hear each other.
std::string privateMulticastGroup();

class StreamReceiver {
public:
    struct Datagram {
        std::string data;
        // When the receiving thread read it.
        std::chrono::steady_clock::time_point time;
        // When the loopback took it, as the kernel stamped it: the moment it was sent, however
        // late the receiving thread reads it.
        std::chrono::system_clock::time_point sent;
    };

    StreamReceiver(const std::string& group, std::uint16_t port);
    ~StreamReceiver();
    StreamReceiver(const StreamReceiver&) = delete;
    StreamReceiver& operator=(const StreamReceiver&) = delete;

    std::vector<Datagram> datagrams() const;
    std::vector<std::string> payloads() const;
    std::size_t count() const;
    void clear();
    // Waits until the datagrams received so far satisfy the condition; false after the deadline.
    bool waitUntil(const std::function<bool(const std::vector<Datagram>&)>& condition,
                   std::chrono::milliseconds deadline = std::chrono::seconds(20)) const;
    bool waitForCount(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(20)) const;
    // Waits until every datagram that reached the socket so far is read and kept: once a sender
    // said it sent its last one, the receiver then holds them all. False after the deadline.
    bool catchUp(std::chrono::milliseconds deadline = std::chrono::seconds(20)) const;

private:
    void run();

    int socket_ = -1;
    int wakeFd_ = -1;
    mutable std::mutex lock_;
    mutable std::condition_variable arrived_;
    std::vector<Datagram> datagrams_;
    // A datagram is taken from the socket and not kept yet.
    bool reading_ = false;
    std::thread thread_;
};

// What the transport stream of some datagrams holds.
struct TransportStream {
    bool patSeen = false;
    bool pmtSeen = false;
    std::set<int> audioPids;
    // Continuity-counter steps other than +1 on a PID that carries payload.
    int continuityErrors = 0;
    // Packets that do not start with the sync byte, datagrams not made of whole packets.
    int malformed = 0;
    // The MPEG audio elementary stream of the first audio PID.
    std::vector<std::uint8_t> audio;
    // The PES packets that carried it.
    int audioPes = 0;
    // Every program clock reference, in order, in units of 27 MHz.
    std::vector<std::int64_t> pcrs;
};
TransportStream readTransportStream(const std::vector<std::string>& datagrams);
// The longest step between consecutive program clock references, in milliseconds of the
// stream's own clock; 0 with fewer than two.
double longestPcrGapMs(const std::vector<std::int64_t>& pcrs);
// True for a datagram that is one null packet: the keep-alive of an idle stream.
bool isKeepAlive(const std::string& datagram);

struct DecodedAudio {
    int rate = 0;
    int channels = 0;
    // The first channel.
    std::vector<std::int16_t> samples;
};
// Decodes MPEG audio (layers I to III) from memory.
DecodedAudio decodeMpegAudio(const std::vector<std::uint8_t>& data);
DecodedAudio decodeMpegFile(const std::string& path);

// The frequency (Hz) with the most energy in the loudest `seconds` of the samples; 0 for silence.
double strongestFrequency(const std::vector<std::int16_t>& samples, int rate, double seconds = 0.5);
// The strongest frequency of each run of `seconds` that is not silent, in order; the runs are
// counted from where sound starts after silence.
std::vector<double> frequencySequence(const std::vector<std::int16_t>& samples, int rate,
                                      double seconds = 0.25);

// A WAV file of a sine (16-bit stereo, 44100 Hz).
void writeSineWav(const std::string& path, double hertz, double seconds);
// An MP3 file of a sine, made with the "lame" command; false when it failed.
bool writeSineMp3(const std::string& path, double hertz, double seconds);

}  // namespace test
