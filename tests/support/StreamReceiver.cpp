#include "support/StreamReceiver.h"

#include <arpa/inet.h>
#include <lame/lame.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vlc/vlc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

namespace test {

void keepLibvlcLoaded() {
    static libvlc_instance_t* const instance = [] {
        const char* arguments[] = {"--quiet"};
        return libvlc_new(1, arguments);
    }();
    (void)instance;
}

std::string privateMulticastGroup() {
    std::random_device random;
    return "239.255." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
}

StreamReceiver::StreamReceiver(const std::string& group, std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(socket_, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    const int buffer = 4 << 20;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, group.c_str(), &address.sin_addr);
    ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ip_mreq membership{};
    membership.imr_multiaddr = address.sin_addr;
    ::inet_pton(AF_INET, "127.0.0.1", &membership.imr_interface);
    ::setsockopt(socket_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

StreamReceiver::~StreamReceiver() {
    const std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
    ::close(socket_);
    ::close(wakeFd_);
}

void StreamReceiver::run() {
    std::vector<char> buffer(65536);
    for (;;) {
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            reading_ = true;
        }
        iovec part{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t size = ::recvmsg(socket_, &message, MSG_DONTWAIT);
        if (size < 0) {
            std::lock_guard<std::mutex> guard(lock_);
            reading_ = false;
            continue;
        }
        std::chrono::system_clock::time_point stamped = std::chrono::system_clock::now();
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_TIMESTAMPNS) continue;
            timespec time{};
            std::memcpy(&time, CMSG_DATA(header), sizeof time);
            stamped = std::chrono::system_clock::time_point(
                std::chrono::duration_cast<std::chrono::system_clock::duration>(
                    std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec)));
        }
        std::lock_guard<std::mutex> guard(lock_);
        datagrams_.push_back({std::string(buffer.data(), static_cast<std::size_t>(size)),
                              std::chrono::steady_clock::now(), stamped});
        reading_ = false;
        arrived_.notify_all();
    }
}

std::vector<StreamReceiver::Datagram> StreamReceiver::datagrams() const {
    std::lock_guard<std::mutex> guard(lock_);
    return datagrams_;
}

std::vector<std::string> StreamReceiver::payloads() const {
    std::vector<std::string> result;
    for (const Datagram& datagram : datagrams()) result.push_back(datagram.data);
    return result;
}

std::size_t StreamReceiver::count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return datagrams_.size();
}

void StreamReceiver::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    datagrams_.clear();
}

bool StreamReceiver::waitUntil(const std::function<bool(const std::vector<Datagram>&)>& condition,
                               std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> guard(lock_);
    return arrived_.wait_for(guard, deadline, [&] { return condition(datagrams_); });
}

bool StreamReceiver::waitForCount(std::size_t count, std::chrono::milliseconds deadline) const {
    return waitUntil([count](const std::vector<Datagram>& all) { return all.size() >= count; }, deadline);
}

bool StreamReceiver::catchUp(std::chrono::milliseconds deadline) const {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            int waiting = 0;
            if (!reading_ && ::ioctl(socket_, FIONREAD, &waiting) == 0 && waiting == 0) return true;
        }
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool isKeepAlive(const std::string& datagram) {
    return datagram.size() == 188 && static_cast<std::uint8_t>(datagram[0]) == 0x47 &&
           (static_cast<std::uint8_t>(datagram[1]) & 0x1F) == 0x1F &&
           static_cast<std::uint8_t>(datagram[2]) == 0xFF;
}

TransportStream readTransportStream(const std::vector<std::string>& datagrams) {
    TransportStream stream;
    std::map<int, int> lastCounter;
    int pmtPid = -1;
    int audioPid = -1;
    bool inPes = false;
    for (const std::string& datagram : datagrams) {
        if (datagram.size() % 188 != 0) ++stream.malformed;
        for (std::size_t at = 0; at + 188 <= datagram.size(); at += 188) {
            const auto* packet = reinterpret_cast<const std::uint8_t*>(datagram.data() + at);
            if (packet[0] != 0x47) {
                ++stream.malformed;
                continue;
            }
            const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
            const bool start = (packet[1] & 0x40) != 0;
            const int control = (packet[3] >> 4) & 3;
            if (pid == 0x1FFF) continue;
            // Adaptation field with the PCR flag: 33 bits of base (90 kHz), 9 of extension.
            if ((control & 2) != 0 && packet[4] >= 7 && (packet[5] & 0x10) != 0) {
                const std::int64_t base = (std::int64_t(packet[6]) << 25) | (packet[7] << 17) |
                                          (packet[8] << 9) | (packet[9] << 1) | (packet[10] >> 7);
                stream.pcrs.push_back(base * 300 + (((packet[10] & 1) << 8) | packet[11]));
            }
            if (control & 1) {
                const int counter = packet[3] & 0x0F;
                const auto last = lastCounter.find(pid);
                if (last != lastCounter.end() && counter != ((last->second + 1) & 0x0F))
                    ++stream.continuityErrors;
                lastCounter[pid] = counter;
            } else {
                continue;
            }
            std::size_t payload = 4;
            if (control == 3) payload += 1 + packet[4];
            if (payload >= 188) continue;
            const std::uint8_t* data = packet + payload;
            std::size_t size = 188 - payload;
            if (pid == 0 || pid == pmtPid) {
                if (!start || size < 1u + packet[payload]) continue;
                const std::uint8_t* table = data + 1 + data[0];
                const std::size_t tableRoom = size - 1 - data[0];
                if (tableRoom < 12) continue;
                const std::size_t length =
                    std::min<std::size_t>(((table[1] & 0x0F) << 8) | table[2], tableRoom - 3);
                if (pid == 0 && table[0] == 0) {
                    stream.patSeen = true;
                    for (std::size_t entry = 8; entry + 4 <= length + 3 - 4; entry += 4) {
                        const int program = (table[entry] << 8) | table[entry + 1];
                        if (program != 0) pmtPid = ((table[entry + 2] & 0x1F) << 8) | table[entry + 3];
                    }
                } else if (pid == pmtPid && table[0] == 2) {
                    stream.pmtSeen = true;
                    const std::size_t infoLength = ((table[10] & 0x0F) << 8) | table[11];
                    for (std::size_t entry = 12 + infoLength; entry + 5 <= length + 3 - 4;) {
                        const int type = table[entry];
                        const int elementary = ((table[entry + 1] & 0x1F) << 8) | table[entry + 2];
                        if (type == 0x03 || type == 0x04) stream.audioPids.insert(elementary);
                        entry += 5 + (((table[entry + 3] & 0x0F) << 8) | table[entry + 4]);
                    }
                    if (!stream.audioPids.empty()) audioPid = *stream.audioPids.begin();
                }
                continue;
            }
            if (pid != audioPid) continue;
            if (start) {
                if (size < 9 || data[0] != 0 || data[1] != 0 || data[2] != 1) continue;
                const std::size_t header = 9 + data[8];
                if (header > size) continue;
                data += header;
                size -= header;
                inPes = true;
                ++stream.audioPes;
            }
            if (inPes) stream.audio.insert(stream.audio.end(), data, data + size);
        }
    }
    return stream;
}

double longestPcrGapMs(const std::vector<std::int64_t>& pcrs) {
    std::int64_t longest = 0;
    for (std::size_t n = 1; n < pcrs.size(); ++n) longest = std::max(longest, pcrs[n] - pcrs[n - 1]);
    return longest / 27000.0;
}

DecodedAudio decodeMpegAudio(const std::vector<std::uint8_t>& data) {
    DecodedAudio decoded;
    hip_t decoder = hip_decode_init();
    hip_set_errorf(decoder, nullptr);
    std::vector<short> left(8192), right(8192);
    mp3data_struct header{};
    std::size_t fed = 0;
    for (;;) {
        const std::size_t chunk = std::min<std::size_t>(4096, data.size() - fed);
        int produced = hip_decode1_headers(decoder, const_cast<unsigned char*>(data.data() + fed), chunk,
                                           left.data(), right.data(), &header);
        fed += chunk;
        while (produced > 0) {
            decoded.samples.insert(decoded.samples.end(), left.begin(), left.begin() + produced);
            produced = hip_decode1_headers(decoder, nullptr, 0, left.data(), right.data(), &header);
        }
        if (header.header_parsed) {
            decoded.rate = header.samplerate;
            decoded.channels = header.stereo;
        }
        if (fed >= data.size()) break;
    }
    hip_decode_exit(decoder);
    return decoded;
}

DecodedAudio decodeMpegFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decodeMpegAudio(data);
}

namespace {

double power(const std::int16_t* samples, std::size_t count, int rate, double hertz) {
    const double coefficient = 2 * std::cos(2 * M_PI * hertz / rate);
    double previous = 0, before = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double current = samples[i] + coefficient * previous - before;
        before = previous;
        previous = current;
    }
    return previous * previous + before * before - coefficient * previous * before;
}

double energy(const std::int16_t* samples, std::size_t count) {
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += double(samples[i]) * samples[i];
    return count ? sum / count : 0;
}

double peakOf(const std::int16_t* samples, std::size_t count, int rate) {
    double best = 0, bestPower = 0;
    for (double hertz = 50; hertz < 8000; hertz += 25) {
        const double p = power(samples, count, rate, hertz);
        if (p > bestPower) bestPower = p, best = hertz;
    }
    for (double hertz = best - 25; hertz <= best + 25; hertz += 1) {
        const double p = power(samples, count, rate, hertz);
        if (p > bestPower) bestPower = p, best = hertz;
    }
    return best;
}

constexpr double kSilence = 100.0 * 100.0;

// Where sound starts at or after `from`: the first 5 ms that are not silent; the end when none is.
std::size_t onset(const std::vector<std::int16_t>& samples, std::size_t from, int rate) {
    const std::size_t block = std::max<std::size_t>(1, static_cast<std::size_t>(rate) / 200);
    for (std::size_t at = from; at + block <= samples.size(); at += block) {
        if (energy(samples.data() + at, block) >= kSilence) return at;
    }
    return samples.size();
}

}  // namespace

double strongestFrequency(const std::vector<std::int16_t>& samples, int rate, double seconds) {
    if (rate <= 0) return 0;
    const std::size_t window = std::min(samples.size(), static_cast<std::size_t>(rate * seconds));
    if (window == 0) return 0;
    std::size_t best = 0;
    double bestEnergy = -1;
    for (std::size_t at = 0; at + window <= samples.size(); at += window / 4 + 1) {
        const double e = energy(samples.data() + at, window);
        if (e > bestEnergy) bestEnergy = e, best = at;
    }
    if (bestEnergy < kSilence) return 0;
    return peakOf(samples.data() + best, window, rate);
}

std::vector<double> frequencySequence(const std::vector<std::int16_t>& samples, int rate, double seconds) {
    std::vector<double> sequence;
    const std::size_t window = static_cast<std::size_t>(rate * seconds);
    if (window == 0) return sequence;
    // Each run of sound is measured from its onset: a window that held only the start of a tone,
    // after silence, would read it off its pitch.
    std::size_t at = onset(samples, 0, rate);
    while (at + window <= samples.size()) {
        if (energy(samples.data() + at, window) < kSilence) {
            at = onset(samples, at + window, rate);
            continue;
        }
        sequence.push_back(peakOf(samples.data() + at, window, rate));
        at += window;
    }
    return sequence;
}

void writeSineWav(const std::string& path, double hertz, double seconds) {
    const int rate = 44100;
    const std::uint32_t frames = static_cast<std::uint32_t>(rate * seconds);
    const std::uint32_t bytes = frames * 4;
    std::ofstream out(path, std::ios::binary);
    auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(bytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(12000 * std::sin(2 * M_PI * hertz * i / rate)));
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v));
    }
}

bool writeSineMp3(const std::string& path, double hertz, double seconds) {
    const std::string wav = path + ".source.wav";
    writeSineWav(wav, hertz, seconds);
    const std::string command = "lame --quiet -b 128 '" + wav + "' '" + path + "'";
    const bool ok = std::system(command.c_str()) == 0;
    std::remove(wav.c_str());
    return ok;
}

}  // namespace test
