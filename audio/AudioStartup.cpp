#include "audio/AudioStartup.h"

#include "audio/Player.h"
#include "audio/PlayerEngine.h"
#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"

namespace audio {
namespace {
mp3stream* commonStream = nullptr;
PlayerEngine* engine = nullptr;
}  // namespace

bool startUp(const std::wstring& pluginFolder) {
    const debug::Place place("audio::startUp");
    commonStream =
        mp3stream_init(streamTargetFromSettings(kCommonStreamOffset, setting::multicastCommonStreamBitrate));
    const bool active = pref::getBool(setting::multicastCommonStreamActive);
    if (!active) place.info(L"The common stream is off (multicast.commonStream.active)");
    if (active && !pref::getBool(setting::multicastZeroPing)) mp3stream_start(commonStream);
    engine = player_engine_init(pluginFolder, commonStream);
    Player::instanceSlot().install(new Player(engine));
    return active;
}

void stopPlaying() {
    base::SingletonSlot<Player>::Use player(Player::instanceSlot());
    if (player) {
        player->stop(false);
        player->setClosing();
    }
    player_engine_stop(engine);
    mp3stream_stop(commonStream);
}

void shutDown() {
    delete Player::instanceSlot().release();
    player_engine_free(engine);
    engine = nullptr;
    mp3stream_free(commonStream);
    commonStream = nullptr;
}

}  // namespace audio
