// The multicast stream as a receiver sees it, for the common stream (several frames a PES packet)
// and for a stream of one frame a PES packet like the priority stream: the datagrams received by
// a socket, parsed as a transport stream. Program clock references at most 100 ms apart by their
// own values, continuity counters without a break, the frames each PES packet carries, and audio
// that decodes to the tone, with libmp3lame's decoder and with libvlc playing the received stream
// as a stock player does. The encoder's library is not loaded until the first encoder is made.

#include <gtest/gtest.h>
#include <vlc/vlc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "audio/MpegAudioEncoder.h"
#include "audio/SineGenerator.h"
#include "audio/StreamSender.h"
#include "tests/audio/AudioFixture.h"

namespace {

using test::StreamReceiver;

// The first channel of what a stock player makes of a transport stream file: libvlc demuxes and
// decodes it and writes the sound to a WAV file.
test::DecodedAudio playedByLibvlc(const std::string& streamFile, const std::string& wavFile) {
    const char* arguments[] = {"--quiet", "--no-video"};
    libvlc_instance_t* instance = libvlc_new(2, arguments);
    libvlc_media_t* media = libvlc_media_new_path(instance, streamFile.c_str());
    const std::string output =
        ":sout=#transcode{acodec=s16l,channels=2,samplerate=44100}:std{access=file,mux=wav,dst=" + wavFile +
        "}";
    libvlc_media_add_option(media, output.c_str());
    libvlc_media_player_t* player = libvlc_media_player_new_from_media(media);
    libvlc_media_player_play(player);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (libvlc_state_t state = libvlc_media_player_get_state(player);
         state != libvlc_Ended && state != libvlc_Error && std::chrono::steady_clock::now() < deadline;
         state = libvlc_media_player_get_state(player))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    libvlc_media_release(media);
    libvlc_release(instance);

    test::DecodedAudio decoded;
    std::ifstream in(wavFile, std::ios::binary);
    const std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t data = wav.find("data");
    if (wav.size() < 44 || data == std::string::npos || data + 8 > wav.size()) return decoded;
    decoded.rate = 44100;
    decoded.channels = 2;
    for (std::size_t at = data + 8; at + 4 <= wav.size(); at += 4) {
        std::int16_t left = 0;
        std::memcpy(&left, wav.data() + at, sizeof left);
        decoded.samples.push_back(left);
    }
    return decoded;
}

class StreamSenderTest : public test::AudioFixture {};

bool libavcodecLoaded() {
    return test::readWholeFile("/proc/self/maps").find("/libavcodec.so") != std::string::npos;
}

// The program starts without libavcodec and the libraries it draws in; the first encoder opens it.
// Another test of this program may have made an encoder before, so it is a program of its own,
// started anew for this test alone, that makes the first one.
TEST_F(StreamSenderTest, TheEncodersLibraryOpensWithTheFirstEncoder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fail = [](const char* why) {
        std::fputs(why, stderr);
        std::_Exit(1);
    };
    EXPECT_EXIT(
        {
            if (libavcodecLoaded()) fail("loaded before the first encoder");
            audio::MpegAudioEncoder encoder(44100, 2, 128);
            if (!libavcodecLoaded()) fail("not loaded by the first encoder");
            const std::vector<std::int16_t> silence(2 * audio::MpegAudioEncoder::kFrameSamples, 0);
            std::vector<std::uint8_t> out;
            for (int frame = 0; frame < 4; ++frame) {
                if (!encoder.encode(silence.data(), out)) fail("a frame was not encoded");
            }
            if (out.empty()) fail("nothing encoded");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(StreamSenderTest, ReceivedStreamKeepsItsClockAndCountersAndDecodes) {
    struct Case {
        const char* name;
        bool common;  // the common streamer, or a stream of one frame a PES packet
        int framesPerPes;
        double hertz;
    };
    const Case cases[] = {
        {"common stream", true, 3, 1000},
        {"one frame a PES packet", false, 1, 700},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        audio::StreamTarget target = audio::streamTargetFromSettings(audio::kCommonStreamOffset,
                                                                     setting::multicastCommonStreamBitrate);
        StreamReceiver receiver(target.group, target.port);
        std::unique_ptr<mp3stream, void (*)(mp3stream*)> common(nullptr, mp3stream_free);
        std::unique_ptr<audio::PcmQueue> ownQueue;
        std::unique_ptr<audio::StreamSender> ownSender;
        audio::PcmQueue* queue = nullptr;
        if (row.common) {
            common.reset(mp3stream_init(target));
            queue = &common->queue();
            ASSERT_TRUE(mp3stream_start(common.get()));
        } else {
            target.framesPerPes = row.framesPerPes;
            ownQueue = std::make_unique<audio::PcmQueue>(44100 * 4);
            ownSender = std::make_unique<audio::StreamSender>(*ownQueue, "test");
            queue = ownQueue.get();
            ASSERT_TRUE(ownSender->start(target));
        }
        audio::SineGenerator tone;
        tone.start(*queue, row.hertz);
        // Three seconds of audio: about fifteen datagrams a second.
        ASSERT_TRUE(receiver.waitForCount(45));
        queue->setAccepting(false);
        tone.stop();
        if (ownSender) ownSender->stop();
        common.reset();

        std::vector<std::string> payloads;
        for (const std::string& datagram : receiver.payloads())
            if (!test::isKeepAlive(datagram)) payloads.push_back(datagram);
        const test::TransportStream stream = test::readTransportStream(payloads);
        EXPECT_TRUE(stream.patSeen);
        EXPECT_TRUE(stream.pmtSeen);
        EXPECT_EQ(stream.audioPids.size(), 1u);
        EXPECT_EQ(stream.continuityErrors, 0);
        EXPECT_EQ(stream.malformed, 0);

        // The clock by its own values: every step forward, none longer than 100 ms.
        ASSERT_GE(stream.pcrs.size(), 20u);
        for (std::size_t n = 1; n < stream.pcrs.size(); ++n)
            EXPECT_GE(stream.pcrs[n], stream.pcrs[n - 1]) << "clock reference " << n;
        EXPECT_LE(test::longestPcrGapMs(stream.pcrs), 100.0);

        // 128 kbit/s at 44.1 kHz: frames of 417 or 418 bytes (the last PES packet may be cut short).
        ASSERT_GT(stream.audioPes, 10);
        const double framesPerPes = stream.audio.size() / 417.5 / stream.audioPes;
        EXPECT_NEAR(framesPerPes, row.framesPerPes, 0.1);

        const test::DecodedAudio decoded = test::decodeMpegAudio(stream.audio);
        EXPECT_EQ(decoded.rate, 44100);
        EXPECT_NEAR(test::strongestFrequency(decoded.samples, decoded.rate), row.hertz, row.hertz * 0.02);

        const std::string file = files_.file(std::string(row.common ? "common" : "single") + ".ts");
        {
            std::ofstream out(file, std::ios::binary);
            for (const std::string& datagram : payloads) out.write(datagram.data(), datagram.size());
        }
        const test::DecodedAudio played = playedByLibvlc(file, file + ".wav");
        // All of the audio, less what a decoder may hold back at the ends.
        EXPECT_GT(played.samples.size(), decoded.samples.size() * 9 / 10);
        EXPECT_NEAR(test::strongestFrequency(played.samples, played.rate), row.hertz, row.hertz * 0.02);
    }
}

// The debugging stream of raw PCM takes the same road without the encoder: the datagrams are the
// samples themselves.
TEST_F(StreamSenderTest, RawPcmStreamCarriesTheSamples) {
    audio::StreamTarget target =
        audio::streamTargetFromSettings(audio::kCommonStreamOffset, setting::multicastCommonStreamBitrate);
    target.rawPcm = true;
    StreamReceiver receiver(target.group, target.port);
    audio::PcmQueue queue(44100 * 4);
    audio::StreamSender sender(queue, "test");
    ASSERT_TRUE(sender.start(target));
    audio::SineGenerator tone;
    tone.start(queue, 600);
    // A second of 16-bit stereo at 44.1 kHz.
    ASSERT_TRUE(receiver.waitUntil([](const std::vector<StreamReceiver::Datagram>& all) {
        std::size_t bytes = 0;
        for (const auto& datagram : all) bytes += datagram.data.size();
        return bytes >= 44100 * 4;
    }));
    queue.setAccepting(false);
    tone.stop();
    sender.stop();
    std::string pcm;
    for (const std::string& datagram : receiver.payloads()) pcm += datagram;
    std::vector<std::int16_t> left;
    for (std::size_t at = 0; at + 4 <= pcm.size(); at += 4) {
        std::int16_t sample = 0;
        std::memcpy(&sample, pcm.data() + at, sizeof sample);
        left.push_back(sample);
    }
    EXPECT_NEAR(test::strongestFrequency(left, 44100), 600, 12);
}

}  // namespace
