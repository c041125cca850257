#include "audio/MpegFrameReader.h"

#include <algorithm>

namespace audio {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kTagHeaderSize = 10;

// Kilobits per second by bitrate index 1 to 14.
constexpr int kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 and 2.5 layer I
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 and 2.5 layers II, III
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

// Frames of one stream keep their version, layer, rate and number of channels.
bool sameStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate && a.mono == b.mono;
}

}  // namespace

std::optional<MpegFrameHeader> readMpegFrameHeader(const std::uint8_t* bytes) {
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) return std::nullopt;
    const int versionBits = (bytes[1] >> 3) & 3;
    const int layerBits = (bytes[1] >> 1) & 3;
    const int bitrateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 3;
    const int padding = (bytes[2] >> 1) & 1;
    const int emphasis = bytes[3] & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        emphasis == 2)
        return std::nullopt;
    MpegFrameHeader header;
    header.version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
    header.layer = 4 - layerBits;
    const int divisor = header.version == 10 ? 1 : header.version == 20 ? 2 : 4;
    header.sampleRate = kSampleRates[rateIndex] / divisor;
    const int table = header.version == 10 ? header.layer - 1 : header.layer == 1 ? 3 : 4;
    header.bitrateKbps = kBitrates[table][bitrateIndex - 1];
    header.mono = (bytes[3] >> 6) == 3;
    const long bitsPerSecond = header.bitrateKbps * 1000L;
    long length = 0;
    if (header.layer == 1)
        length = (12 * bitsPerSecond / header.sampleRate + padding) * 4;
    else if (header.layer == 3 && header.version != 10)
        length = 72 * bitsPerSecond / header.sampleRate + padding;
    else
        length = 144 * bitsPerSecond / header.sampleRate + padding;
    header.length = static_cast<std::size_t>(length);
    return header;
}

MpegFrameReader::MpegFrameReader(std::istream& in) : in_(in) {}

bool MpegFrameReader::have(std::size_t count) {
    while (buffer_.size() - position_ < count) {
        if (!in_) return false;
        // What is left is less than one frame, so moving it keeps the pass linear.
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ = 0;
        const std::size_t kept = buffer_.size();
        const std::size_t wanted = std::max(kChunk, count - kept);
        buffer_.resize(kept + wanted);
        in_.read(reinterpret_cast<char*>(buffer_.data() + kept), static_cast<std::streamsize>(wanted));
        const auto got = static_cast<std::size_t>(in_.gcount());
        buffer_.resize(kept + got);
        if (got == 0) return false;
    }
    return true;
}

void MpegFrameReader::skip(std::size_t count) {
    const std::size_t buffered = buffer_.size() - position_;
    if (count <= buffered) {
        position_ += count;
        return;
    }
    buffer_.clear();
    position_ = 0;
    in_.seekg(static_cast<std::streamoff>(count - buffered), std::ios::cur);
}

std::size_t MpegFrameReader::tagSize() {
    if (!have(kTagHeaderSize)) return 0;
    const std::uint8_t* at = buffer_.data() + position_;
    if (at[0] != 'I' || at[1] != 'D' || at[2] != '3' || at[3] == 0xFF || at[4] == 0xFF) return 0;
    std::size_t size = 0;
    for (int n = 6; n < 10; ++n) {
        if (at[n] & 0x80) return 0;
        size = size << 7 | at[n];
    }
    const bool footer = (at[5] & 0x10) != 0;
    return kTagHeaderSize + size + (footer ? kTagHeaderSize : 0);
}

std::optional<MpegFrameReader::Frame> MpegFrameReader::next() {
    std::size_t searched = 0;
    while (have(kHeaderSize)) {
        if (searched >= kSearchLimit) {
            gaveUp_ = true;
            return std::nullopt;
        }
        if (!locked_) {
            if (const std::size_t tag = tagSize()) {
                skip(tag);
                continue;
            }
        }
        if (const auto header = readMpegFrameHeader(buffer_.data() + position_)) {
            const std::size_t length = header->length;
            bool take = false;
            if (locked_ && sameStream(*locked_, *header)) {
                take = have(length);
            } else if (have(length + kHeaderSize)) {
                const auto following = readMpegFrameHeader(buffer_.data() + position_ + length);
                take = following && sameStream(*header, *following);
            } else {
                // Fewer bytes than a frame and a header are left: the last frame ends the file.
                take = have(length);
            }
            if (take) {
                const Frame frame{buffer_.data() + position_, length};
                position_ += length;
                locked_ = header;
                return frame;
            }
        }
        locked_.reset();
        ++position_;
        ++searched;
    }
    return std::nullopt;
}

}  // namespace audio
