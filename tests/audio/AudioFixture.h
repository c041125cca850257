#pragma once
// What the stream tests share: a dispatcher, a settings store whose streams go to a multicast
// group of the test's own on loopback, the common streamer and the player engine with the
// shipped plug-ins, and a receiver of the common stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "audio/PlayerEngine.h"
#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "foundation/Settings.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace test {

class AudioFixture : public ::testing::Test {
protected:
    void SetUp() override {
        keepLibvlcLoaded();
        base::ThreadDispatcher::create();
        store_ = pref_init(L"");
        pref::instanceSlot().install(store_);
        pref::setString(setting::multicastAddress.key, group_);
        pref::setInt(setting::multicastBasePort.key, basePort_);
        pref::setString(setting::netInterfaceIp.key, "127.0.0.1");
    }
    void TearDown() override {
        stopEngine();
        base::ThreadDispatcher::destroy();
        delete pref::instanceSlot().release();
    }

    // The engine over the plug-ins of `pluginFolder` (the shipped ones by default).
    void startEngine(const std::wstring& pluginFolder = kShippedPlugins) {
        stream_ = mp3stream_init(audio::streamTargetFromSettings(audio::kCommonStreamOffset,
                                                                 setting::multicastCommonStreamBitrate));
        engine_ = player_engine_init(pluginFolder, stream_);
    }
    void stopEngine() {
        player_engine_free(engine_);
        engine_ = nullptr;
        mp3stream_free(stream_);
        stream_ = nullptr;
    }

    // The decoded audio of what the receiver got so far.
    static DecodedAudio decoded(const StreamReceiver& receiver) {
        return decodeMpegAudio(readTransportStream(receiver.payloads()).audio);
    }
    // Waits until the receiver got `seconds` of decodable audio.
    static bool waitForAudio(const StreamReceiver& receiver, double seconds) {
        return receiver.waitUntil([seconds](const std::vector<StreamReceiver::Datagram>& all) {
            // 128 kbit/s in datagrams of 1316 bytes: about twelve a second.
            return all.size() >= static_cast<std::size_t>(seconds * 16);
        });
    }

    // The distinct tones heard so far, in order: each a run of at least two windows whose
    // readings lie close together, told by its middle reading. A window across the start or the
    // end of a tone reads a little off and does not stand for it; one across the change from one
    // tone to the next, or across a gap, which reads apart from both, stands for no tone.
    static std::vector<double> tones(const StreamReceiver& receiver) {
        const auto audio = decoded(receiver);
        std::vector<std::vector<double>> runs;
        const auto middle = [](std::vector<double> run) {
            std::nth_element(run.begin(), run.begin() + run.size() / 2, run.end());
            return run[run.size() / 2];
        };
        for (double hertz : frequencySequence(audio.samples, audio.rate)) {
            if (runs.empty() || std::abs(middle(runs.back()) - hertz) > 24) runs.emplace_back();
            runs.back().push_back(hertz);
        }
        std::vector<double> heard;
        for (const std::vector<double>& run : runs) {
            if (run.size() < 2) continue;
            const double tone = middle(run);
            if (heard.empty() || std::abs(heard.back() - tone) > 24) heard.push_back(tone);
        }
        return heard;
    }
    // Waits until the last tone the receiver got is `hertz`, as a capture that needs a moment
    // before its sound is in the stream.
    static bool waitForTone(const StreamReceiver& receiver, double hertz) {
        return receiver.waitUntil([hertz](const std::vector<StreamReceiver::Datagram>& all) {
            std::vector<std::string> payloads;
            for (const auto& datagram : all) payloads.push_back(datagram.data);
            const auto audio = decodeMpegAudio(readTransportStream(payloads).audio);
            const auto heard = frequencySequence(audio.samples, audio.rate);
            return !heard.empty() && std::abs(heard.back() - hertz) < 24;
        });
    }

    static inline const std::wstring kShippedPlugins = L"" MELVOX_PLUGIN_DIR;

    LogCapture capture_;
    TempFolder files_;
    const std::string group_ = privateMulticastGroup();
    const std::uint16_t basePort_ = freeUdpPort();
    pref* store_ = nullptr;
    mp3stream* stream_ = nullptr;
    PlayerEngine* engine_ = nullptr;
};

}  // namespace test
