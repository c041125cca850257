#include "audio/AudioStartup.h"

#include "audio/AlarmChannel.h"
#include "audio/GiveBackJournal.h"
#include "audio/Player.h"
#include "audio/PlayerChannel.h"
#include "audio/PlayerEngine.h"
#include "audio/StreamSettings.h"
#include "audio/mp3stream.h"
#include "audio/mp3streamf.h"
#include "foundation/DataFolders.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"

namespace audio {
namespace {
mp3stream* commonStream = nullptr;
PlayerEngine* engine = nullptr;
}  // namespace

bool startUp(const std::wstring& pluginFolder, std::shared_ptr<device::DeviceCollection> registry) {
    const debug::Place place("audio::startUp");
    commonStream =
        mp3stream_init(streamTargetFromSettings(kCommonStreamOffset, setting::multicastCommonStreamBitrate));
    const bool active = pref::getBool(setting::multicastCommonStreamActive);
    if (!active) place.info(L"The common stream is off (multicast.commonStream.active)");
    if (active && !pref::getBool(setting::multicastZeroPing)) mp3stream_start(commonStream);

    auto* priorityStream = new mp3streamf(mp3streamf::targetFromSettings());
    mp3streamf::instanceSlot().install(priorityStream);
    auto* alarm = new frm::AlarmChannel(
        *priorityStream, registry,
        os::joinPath(os::getApplicationDataDirectory(), frm::GiveBackJournal::kFileName));
    frm::AlarmChannel::instanceSlot().install(alarm);

    engine = player_engine_init(pluginFolder, commonStream);
    auto* player = new Player(engine);
    Player::instanceSlot().install(player);
    frm::PlayerChannel::instanceSlot().install(new frm::PlayerChannel(*player, *alarm, std::move(registry)));
    return active;
}

void giveBackWhatALastRunLeft(bool collectionRead) {
    base::SingletonSlot<frm::AlarmChannel>::Use alarm(frm::AlarmChannel::instanceSlot());
    if (alarm) alarm->giveBackWhatALastRunLeft(collectionRead);
}

void messageBoxClosed(const std::wstring& text) {
    base::SingletonSlot<frm::AlarmChannel>::Use alarm(frm::AlarmChannel::instanceSlot());
    if (alarm) alarm->devices().noticeShown(text);
}

void setSelectionProvider(const frm::SelectionProvider& provider) {
    base::SingletonSlot<frm::AlarmChannel>::Use alarm(frm::AlarmChannel::instanceSlot());
    if (alarm) alarm->setSelectionProvider(provider);
    base::SingletonSlot<frm::PlayerChannel>::Use player(frm::PlayerChannel::instanceSlot());
    if (player) player->setSelectionProvider(provider);
}

void endBroadcasts() {
    base::SingletonSlot<frm::AlarmChannel>::Use alarm(frm::AlarmChannel::instanceSlot());
    if (alarm) alarm->close();
    base::SingletonSlot<frm::PlayerChannel>::Use player(frm::PlayerChannel::instanceSlot());
    if (player) player->giveVolumesBack();
}

void stopPlaying() {
    endBroadcasts();
    base::SingletonSlot<Player>::Use player(Player::instanceSlot());
    if (player) {
        player->stop(false);
        player->setClosing();
    }
    player_engine_stop(engine);
    mp3stream_stop(commonStream);
}

void shutDown() {
    delete frm::PlayerChannel::instanceSlot().release();
    delete frm::AlarmChannel::instanceSlot().release();
    delete Player::instanceSlot().release();
    player_engine_free(engine);
    engine = nullptr;
    delete mp3streamf::instanceSlot().release();
    mp3stream_free(commonStream);
    commonStream = nullptr;
}

}  // namespace audio
