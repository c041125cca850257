// The program's side of the common stream benchmark: plays one file through the common stream,
// as the program does (input plug-in, PCM queue, streamer), and ends when the file has ended and
// its last datagram has left. It runs as a process of its own, so that the benchmark measures it
// from outside exactly as it measures the stock encoder beside it.
//   common_streamer FILE GROUP PORT

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "audio/Player.h"
#include "audio/PlayerEngine.h"
#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: common_streamer FILE GROUP PORT\n");
        return 2;
    }
    const int port = std::stoi(argv[3]);
    base::ThreadDispatcher::create();
    pref* store = pref_init(L"");
    pref::instanceSlot().install(store);
    pref::setString(setting::multicastAddress.key, argv[2]);
    // The common stream goes to the base port plus one.
    pref::setInt(setting::multicastBasePort.key, port - audio::kCommonStreamOffset);
    pref::setString(setting::netInterfaceIp.key, "127.0.0.1");
    pref::setBool(setting::multicastZeroPing.key, true);
    mp3stream* stream = mp3stream_init(
        audio::streamTargetFromSettings(audio::kCommonStreamOffset, setting::multicastCommonStreamBitrate));
    PlayerEngine* engine = player_engine_init(L"" MELVOX_PLUGIN_DIR, stream);
    int status = 0;
    {
        Player player(engine);
        auto playlist = std::make_shared<Playlist>(L"bench", false);
        playlist->add(L"file", base::fromUtf8(argv[1]));
        player.play(playlist);
        if (!player.isPlaying()) status = 1;
        while (player.isPlaying()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // With zeroPing set the engine drains the stream and stops it once the file ended.
        while (mp3stream_is_running(stream)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    player_engine_free(engine);
    mp3stream_free(stream);
    base::ThreadDispatcher::destroy();
    delete pref::instanceSlot().release();
    return status;
}
