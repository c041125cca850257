// The decoder of message files: frames are found in one bounded pass, whatever stands before,
// between or after them, and a file that holds no MPEG audio is refused after a bounded search
// however large it is.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/Mp3FileDecoder.h"
#include "audio/MpegFrameReader.h"
#include "foundation/TextConversion.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace {

using audio::DecodeResult;
using audio::MpegFrameReader;

// A stream buffer over bytes that counts what was read from it.
class CountingBuffer : public std::streambuf {
public:
    explicit CountingBuffer(std::string bytes) : bytes_(std::move(bytes)) {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }
    std::size_t taken() const { return static_cast<std::size_t>(gptr() - eback()); }

private:
    std::string bytes_;
};

std::string wholeFile(const std::string& path) {
    return test::readWholeFile(path);
}

// An ID3v2 tag of `size` bytes of content.
std::string id3Tag(std::size_t size) {
    std::string tag = "ID3";
    tag += '\x03';
    tag += '\0';
    tag += '\0';
    for (int shift = 21; shift >= 0; shift -= 7) tag += static_cast<char>((size >> shift) & 0x7F);
    // Content that would pass for frames of silence if it were searched.
    const std::string frame = std::string("\xFF\xFB\x90\x64", 4) + std::string(413, '\0');
    for (std::size_t n = 0; n < size; ++n) tag += frame[n % frame.size()];
    return tag;
}

// Samples decoded, or -1 when refused.
long decodedFrames(const std::string& path) {
    long frames = 0;
    const DecodeResult result =
        audio::decodeMp3File(base::fromUtf8(path), [&](const std::int16_t*, std::size_t n) {
            frames += static_cast<long>(n);
            return true;
        });
    return result == DecodeResult::done ? frames : -1;
}

TEST(MpegFrameReaderTest, HeadersGiveTheirFrameLength) {
    const struct {
        std::uint8_t bytes[4];
        int version, layer, rate, kbps;
        bool mono;
        std::size_t length;
    } cases[] = {
        {{0xFF, 0xFB, 0x90, 0x64}, 10, 3, 44100, 128, false, 417},
        {{0xFF, 0xFB, 0x92, 0x64}, 10, 3, 44100, 128, false, 418},  // padded
        {{0xFF, 0xFB, 0xE4, 0xC4}, 10, 3, 48000, 320, true, 960},
        {{0xFF, 0xFD, 0xD8, 0x00}, 10, 2, 32000, 320, false, 1440},
        {{0xFF, 0xFF, 0xE0, 0x00}, 10, 1, 44100, 448, false, 484},
        {{0xFF, 0xF3, 0x80, 0xC0}, 20, 3, 22050, 64, true, 208},
        {{0xFF, 0xE3, 0x18, 0x00}, 25, 3, 8000, 8, false, 72},
    };
    for (const auto& c : cases) {
        const auto header = audio::readMpegFrameHeader(c.bytes);
        ASSERT_TRUE(header) << c.length;
        EXPECT_EQ(header->version, c.version) << c.length;
        EXPECT_EQ(header->layer, c.layer) << c.length;
        EXPECT_EQ(header->sampleRate, c.rate) << c.length;
        EXPECT_EQ(header->bitrateKbps, c.kbps) << c.length;
        EXPECT_EQ(header->mono, c.mono) << c.length;
        EXPECT_EQ(header->length, c.length);
    }
    const std::uint8_t refused[][4] = {
        {0xFF, 0xFB, 0x00, 0x64},  // free format: its length is not in the header
        {0xFF, 0xFB, 0xF0, 0x64},  // bitrate index 15
        {0xFF, 0xFB, 0x9C, 0x64},  // reserved sample rate
        {0xFF, 0xF9, 0x90, 0x64},  // reserved layer
        {0xFF, 0xEB, 0x90, 0x64},  // reserved version
        {0xFF, 0xFB, 0x90, 0x66},  // reserved emphasis
        {0xFF, 0x1B, 0x90, 0x64},  // no sync
        {'R', 'I', 'F', 'F'},
    };
    for (const auto& bytes : refused) EXPECT_FALSE(audio::readMpegFrameHeader(bytes)) << int(bytes[2]);
}

TEST(MpegFrameReaderTest, DataWithoutFramesIsGivenUpAfterTheBoundedSearchWhateverItsSize) {
    test::TempFolder folder;
    const std::string wav = folder.file("tone.wav");
    // A sine's samples near zero hold bytes that pass for a header now and then.
    test::writeSineWav(wav, 997, 30);
    const std::string pcm = wholeFile(wav);
    const struct {
        const char* name;
        std::string bytes;
        bool gaveUp;
    } cases[] = {
        {"wav", pcm, true},
        {"noise",
         [] {
             std::string bytes(4 * 1024 * 1024, '\0');
             std::uint32_t state = 12345;
             for (char& byte : bytes) byte = static_cast<char>((state = state * 1664525 + 1013904223) >> 24);
             return bytes;
         }(),
         true},
        {"short", std::string(5000, 'x'), false},
        {"empty", std::string(), false},
    };
    for (const auto& c : cases) {
        CountingBuffer buffer(c.bytes);
        std::istream in(&buffer);
        MpegFrameReader reader(in);
        EXPECT_FALSE(reader.next()) << c.name;
        EXPECT_EQ(reader.gaveUp(), c.gaveUp) << c.name;
        // What is read is bounded by the search, not by the size of the data.
        EXPECT_LE(buffer.taken(), MpegFrameReader::kSearchLimit + 128 * 1024) << c.name;
    }
}

TEST(MpegFrameReaderTest, FramesAreFoundPastTagsGarbageAndDamageAndHandedOnWhole) {
    test::TempFolder folder;
    const std::string mp3 = folder.file("tone.mp3");
    ASSERT_TRUE(test::writeSineMp3(mp3, 1000, 2));
    const std::string audio = wholeFile(mp3);
    std::string damaged = audio;
    for (std::size_t at = damaged.size() / 3; at < damaged.size() / 3 + 700; ++at) damaged[at] = '\x5A';
    const auto framesOf = [](const std::string& bytes, const char* name) {
        std::istringstream in(bytes);
        MpegFrameReader reader(in);
        std::size_t frames = 0;
        while (const auto frame = reader.next()) {
            const auto header = audio::readMpegFrameHeader(frame->data);
            EXPECT_TRUE(header && frame->size == header->length) << name;
            ++frames;
        }
        EXPECT_FALSE(reader.gaveUp()) << name;
        return frames;
    };
    const std::size_t all = framesOf(audio, "plain");
    // 2 s at 44100 Hz in frames of 1152 samples, and the encoder's own.
    EXPECT_GE(all, 2u * 44100 / 1152);
    const struct {
        const char* name;
        std::string bytes;
        std::size_t lost;
    } cases[] = {
        // A tag larger than the search limit is stepped over by its size, never searched.
        {"big tag", id3Tag(MpegFrameReader::kSearchLimit + 4096) + audio, 0},
        {"garbage before", std::string(100 * 1024, '\xFF') + audio, 0},
        {"tag after", audio + "TAG" + std::string(125, ' '), 0},
        // At most the frames the damage touches and the one it makes look damaged.
        {"damaged", damaged, 3},
        {"truncated", audio.substr(0, audio.size() - 300), 1},
    };
    for (const auto& c : cases) {
        const std::size_t frames = framesOf(c.bytes, c.name);
        EXPECT_LE(frames, all) << c.name;
        EXPECT_GE(frames, all - c.lost) << c.name;
    }
}

TEST(Mp3FileDecoderTest, MessagesDecodeAndFilesWithoutAudioAreRefused) {
    test::TempFolder folder;
    const std::string mp3 = folder.file("tone.mp3");
    ASSERT_TRUE(test::writeSineMp3(mp3, 1000, 2));
    const std::string audio = wholeFile(mp3);
    const std::string wav = folder.file("tone.wav");
    test::writeSineWav(wav, 440, 30);
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(folder.file(name), std::ios::binary) << bytes;
        return folder.file(name);
    };
    const long full = 2 * 44100;
    const struct {
        std::string path;
        long minimum;  // -1: refused
    } cases[] = {
        {mp3, full - 2000},
        {write("tagged.mp3", id3Tag(400 * 1024) + audio), full - 2000},
        {write("wav.mp3", wholeFile(wav)), -1},
        {write("text.mp3", std::string(5000, 'x')), -1},
        {write("far.mp3", std::string(MpegFrameReader::kSearchLimit + 1024, '\0') + audio), -1},
        {folder.file("missing.mp3"), -1},
    };
    for (const auto& c : cases) {
        const long frames = decodedFrames(c.path);
        if (c.minimum < 0) {
            EXPECT_EQ(frames, -1) << c.path;
            EXPECT_FALSE(audio::canDecodeMp3File(base::fromUtf8(c.path))) << c.path;
        } else {
            EXPECT_GE(frames, c.minimum) << c.path;
            EXPECT_LE(frames, full + 3000) << c.path;
            EXPECT_TRUE(audio::canDecodeMp3File(base::fromUtf8(c.path))) << c.path;
        }
    }
    const auto decoded = test::decodeMpegFile(mp3);
    EXPECT_NEAR(test::strongestFrequency(decoded.samples, decoded.rate), 1000, 20);
}

TEST(Mp3FileDecoderTest, TheStopCheckEndsTheDecodingBetweenFrames) {
    test::TempFolder folder;
    const std::string mp3 = folder.file("tone.mp3");
    ASSERT_TRUE(test::writeSineMp3(mp3, 1000, 2));
    int asked = 0;
    long frames = 0;
    const DecodeResult result = audio::decodeMp3File(
        base::fromUtf8(mp3),
        [&](const std::int16_t*, std::size_t n) {
            frames += static_cast<long>(n);
            return true;
        },
        [&] { return ++asked > 10; });
    EXPECT_EQ(result, DecodeResult::stopped);
    EXPECT_EQ(asked, 11);
    EXPECT_LE(frames, 11 * 1152 + 1200);
}

}  // namespace
