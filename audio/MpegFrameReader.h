#pragma once
// Finds the MPEG audio frames of a message file for the decoder, in one pass over the file. A
// frame is taken where a valid header is followed by the next header of the same stream (or
// ends the file), or where it follows the frame taken before; the bytes in between (tags,
// damage, a file that is no MPEG audio at all) never reach the decoder. An ID3v2 tag is stepped
// over by its size. When no frame is found within kSearchLimit bytes, the file is taken to
// hold no more audio, however large it is.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <vector>

namespace audio {

struct MpegFrameHeader {
    // 10 for MPEG-1, 20 for MPEG-2, 25 for MPEG-2.5.
    int version = 0;
    int layer = 0;
    int sampleRate = 0;
    int bitrateKbps = 0;
    bool mono = false;
    // The whole frame, its header included.
    std::size_t length = 0;
};

// The header at the four bytes; empty for anything that is not a header of a frame we can
// find the end of (free format, reserved values).
std::optional<MpegFrameHeader> readMpegFrameHeader(const std::uint8_t* bytes);

class MpegFrameReader {
public:
    static constexpr std::size_t kSearchLimit = 256 * 1024;

    struct Frame {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
    };

    explicit MpegFrameReader(std::istream& in);

    // The next frame, valid until the next call; empty at the end of the data, or when no frame
    // was found within kSearchLimit bytes (gaveUp then tells so).
    std::optional<Frame> next();
    bool gaveUp() const { return gaveUp_; }

private:
    // Whether `count` bytes from the current position are (or can be made) buffered.
    bool have(std::size_t count);
    void skip(std::size_t count);
    // The size of an ID3v2 tag at the current position, 0 when there is none.
    std::size_t tagSize();

    std::istream& in_;
    std::vector<std::uint8_t> buffer_;
    std::size_t position_ = 0;
    // The header of the frame taken last, while the next one follows it directly.
    std::optional<MpegFrameHeader> locked_;
    bool gaveUp_ = false;
};

}  // namespace audio
