// The cost of the common stream. CPU of the whole pipeline (the plug-in decoding a file, the
// streamer encoding it to MPEG audio at 128 kbit/s and sending it) per second of audio, beside
// libvlc alone transcoding the same file to a null output in real time; and the time from
// Player::play to the first datagram on the base port plus one. Run inside scripts/netns.sh.
// "percent_of_core" is CPU time over audio time, for the pipeline and the floor alike.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <vlc/vlc.h>

#include <chrono>
#include <thread>

#include "audio/Player.h"
#include "audio/PlayerEngine.h"
#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSeconds = 4;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct World {
    World() {
        base::ThreadDispatcher::create();
        store = pref_init(L"");
        pref::instanceSlot().install(store);
        pref::setString(setting::multicastAddress.key, group);
        pref::setInt(setting::multicastBasePort.key, port);
        pref::setString(setting::netInterfaceIp.key, "127.0.0.1");
        test::writeSineMp3(file, 1000, kSeconds);
        stream = mp3stream_init(audio::streamTargetFromSettings(audio::kCommonStreamOffset,
                                                                setting::multicastCommonStreamBitrate));
        engine = player_engine_init(L"" MELVOX_PLUGIN_DIR, stream);
        player = std::make_unique<Player>(engine);
    }
    ~World() {
        player.reset();
        player_engine_free(engine);
        mp3stream_free(stream);
        base::ThreadDispatcher::destroy();
        delete pref::instanceSlot().release();
    }
    test::TempFolder folder;
    const std::string file = folder.file("tone.mp3");
    const std::string group = test::privateMulticastGroup();
    const std::uint16_t port = test::freeUdpPort();
    pref* store = nullptr;
    mp3stream* stream = nullptr;
    PlayerEngine* engine = nullptr;
    std::unique_ptr<Player> player;
};

World& world() {
    static World instance;
    return instance;
}

void BM_PipelineCpuPerAudioSecond(benchmark::State& state) {
    World& w = world();
    double cpu = 0, audio = 0;
    for (auto _ : state) {
        auto playlist = std::make_shared<Playlist>(L"bench", false);
        playlist->add(L"tone", base::fromUtf8(w.file));
        const double before = cpuSeconds();
        const auto start = Clock::now();
        w.player->play(playlist);
        while (w.player->isPlaying()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cpu += cpuSeconds() - before;
        audio += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["percent_of_core"] = 100 * cpu / audio;
}

void BM_FloorLibvlcTranscodeToNull(benchmark::State& state) {
    World& w = world();
    const char* arguments[] = {"--quiet", "--no-video", "--aout=adummy"};
    libvlc_instance_t* instance = libvlc_new(3, arguments);
    double cpu = 0, audio = 0;
    for (auto _ : state) {
        libvlc_media_t* media = libvlc_media_new_path(instance, w.file.c_str());
        libvlc_media_add_option(media,
                                ":sout=#transcode{acodec=mpga,ab=128,channels=2,samplerate=44100}:dummy");
        libvlc_media_player_t* player = libvlc_media_player_new_from_media(media);
        const double before = cpuSeconds();
        libvlc_media_player_play(player);
        while (libvlc_media_player_get_state(player) != libvlc_Ended &&
               libvlc_media_player_get_state(player) != libvlc_Error)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cpu += cpuSeconds() - before;
        // Not paced: it transcodes the whole file as fast as it can.
        audio += kSeconds;
        libvlc_media_player_stop(player);
        libvlc_media_player_release(player);
        libvlc_media_release(media);
    }
    libvlc_release(instance);
    state.counters["percent_of_core"] = 100 * cpu / audio;
}

void BM_PlayToFirstDatagram(benchmark::State& state) {
    World& w = world();
    test::StreamReceiver receiver(w.group, static_cast<std::uint16_t>(w.port + 1));
    for (auto _ : state) {
        auto playlist = std::make_shared<Playlist>(L"bench", false);
        playlist->add(L"tone", base::fromUtf8(w.file));
        receiver.clear();
        const auto start = Clock::now();
        w.player->play(playlist);
        receiver.waitUntil([](const std::vector<test::StreamReceiver::Datagram>& all) {
            for (const auto& datagram : all)
                if (!test::isKeepAlive(datagram.data)) return true;
            return false;
        });
        Clock::time_point first{};
        for (const auto& datagram : receiver.datagrams())
            if (!test::isKeepAlive(datagram.data)) {
                first = datagram.time;
                break;
            }
        state.SetIterationTime(std::chrono::duration<double>(first - start).count());
        w.player->stop(false);
    }
}

BENCHMARK(BM_PipelineCpuPerAudioSecond)->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(BM_FloorLibvlcTranscodeToNull)->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(BM_PlayToFirstDatagram)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
