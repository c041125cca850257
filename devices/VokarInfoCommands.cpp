// The everyday commands of a loudspeaker: volume, channel, internal playing, the power
// supply's version and the two tests.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <mutex>
#include <string_view>

#include "devicelink/DeviceReply.h"
#include "devicelink/IAudioControl.h"
#include "devices/VokarInfo.h"
#include "foundation/Clock.h"
#include "foundation/Exceptions.h"
#include "foundation/HexText.h"
#include "foundation/Place.h"
#include "foundation/PlainText.h"
#include "foundation/ScanFields.h"
#include "foundation/ThreadDispatcher.h"

namespace device {
namespace {

// The decibel scale from generation 9 on: 0 loudest, -35 quietest audible, -96 silent.
constexpr std::int64_t quietestLevel = -35;
constexpr std::int64_t silentLevel = -96;
// The first generations set each amplifier channel with one byte: 0 loudest, 60 quietest
// audible, 254 silent.
constexpr unsigned quietestByte = 60;
constexpr unsigned silentByte = 254;

constexpr AudioChannel repeaterChannel = 3;
// Channels above this one are never reported by a loudspeaker.
constexpr AudioChannel highestChannel = 20;
constexpr unsigned toneHz = 1000;

// The level that "set vol" gives a percentage, from generation 9 on.
std::int64_t decibelsOfPercent(std::int32_t percent) {
    return percent == 0 ? silentLevel
                        : quietestLevel - static_cast<std::int64_t>(std::trunc(percent * -0.35));
}

// The byte of each amplifier channel that "set vol" gives a percentage, up to generation 8.
unsigned byteOfPercent(std::int32_t percent) {
    return percent == 0 ? silentByte : quietestByte - static_cast<unsigned>(std::trunc(percent * 0.6));
}

// An audible value of the loudspeaker read as the smallest percentage that sets it again, from
// 1 %: a volume read, saved and set back, or shown and set back unchanged, gives the loudspeaker
// the level it had. (Percentages step finer than either scale, so every audible value has one.)
template <class Value, class Setting>
std::int32_t smallestPercentSetting(Value value, Setting setting) {
    std::int32_t percent = 1;
    while (percent < 100 && setting(percent) != value) ++percent;
    return percent;
}

// The level that "set vol" gives a percentage in the scale of the generation.
VokarInfo::Level levelOfPercent(std::int32_t percent, VokarVersion version) {
    VokarInfo::Level level;
    level.percent = percent;
    if (version >= vokarA_3_00_01) {
        level.decibels = static_cast<std::int32_t>(decibelsOfPercent(percent));
        return level;
    }
    const auto byte = static_cast<std::uint8_t>(byteOfPercent(percent));
    level.perChannel = true;
    level.channels = {byte, byte};
    return level;
}

// The smallest volume that shows a level. Anything audible shows as at least 1 %, so that only
// true silence reads as off; the first amplifier channel stands for both.
std::int32_t percentOfLevel(const VokarInfo::Level& level) {
    if (!level.perChannel) {
        if (level.decibels == silentLevel) return 0;
        return smallestPercentSetting(std::max<std::int64_t>(level.decibels, quietestLevel),
                                      decibelsOfPercent);
    }
    const unsigned first = level.channels[0];
    if (first == silentByte) return 0;
    return smallestPercentSetting(std::min(first, quietestByte), byteOfPercent);
}

// One or two hexadecimal digits, the whole text.
bool parseHexByte(std::string_view text, unsigned& value) {
    if (text.empty() || text.size() > 2) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

// "%02X:%02X", the volume of the two amplifier channels of a first-generation loudspeaker.
bool parseChannelBytes(const std::string& reply, unsigned& first, unsigned& second) {
    const std::size_t colon = reply.find(':');
    if (colon == std::string::npos) return false;
    const std::string_view text(reply);
    return parseHexByte(text.substr(0, colon), first) && parseHexByte(text.substr(colon + 1), second);
}

std::string channelCommand(AudioChannel channel) {
    return "set ch " + base::decimal(channel);
}

// A loudspeaker busy with its own playback takes the channel only once that ends.
bool isDeferred(const std::string& reply) {
    return reply.find("is deferred") != std::string::npos;
}

// What a loudspeaker plays on a channel chosen by a switch; `keep` for the others.
bool playbackOfChannel(AudioChannel channel, PlaybackType& type) {
    switch (channel) {
        case CHANNEL_DISCOVERY:
            type = playback::none;
            return true;
        case 1:
        case 2:
            type = playback::voiceHighPriority;
            return true;
        case repeaterChannel:
            type = playback::voiceHighRepeating;
            return true;
        case 4:
        case 6:
            type = playback::voiceLowPriority;
            return true;
        default:
            return false;
    }
}

// Playback statuses in which the loudspeaker plays from its own memory or an analog input.
bool playsOwnSource(std::uint32_t status) {
    switch (static_cast<PlaybackStatus>(status)) {
        case PlaybackStatus::voiceFragment:
        case PlaybackStatus::delayedVoiceAlert:
        case PlaybackStatus::voiceAlert:
        case PlaybackStatus::analogInput1:
        case PlaybackStatus::analogInput2:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool VokarInfo::Level::sameAs(const Level& other) const {
    if (perChannel != other.perChannel) return false;
    return perChannel ? channels == other.channels : decibels == other.decibels;
}

std::string VokarInfo::Level::text() const {
    if (!perChannel) return base::decimal(decibels);
    return base::toHex(&channels[0], 1) + ":" + base::toHex(&channels[1], 1);
}

std::wstring VokarInfo::Level::shown() const {
    if (perChannel) return base::widen(text());
    return std::to_wstring(decibels) + L" дБ";
}

std::optional<VokarInfo::Level> VokarInfo::Level::fromText(bool perChannel, const std::string& text,
                                                           std::int32_t percent) {
    Level level;
    level.perChannel = perChannel;
    level.percent = percent;
    if (percent < 0 || percent > 100) return std::nullopt;
    if (!perChannel) {
        if (!DeviceBase::parseIntValue(text, level.decibels, silentLevel, 0)) return std::nullopt;
        return level;
    }
    unsigned first = 0;
    unsigned second = 0;
    if (!parseChannelBytes(text, first, second)) return std::nullopt;
    level.channels = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
    return level;
}

bool VokarInfo::isAtLevel(const Level& level, std::int32_t known) const {
    return known >= 0 && known <= 100 && levelOfPercent(known, getVersionId()).sameAs(level);
}

bool VokarInfo::setVolume(std::int32_t percent) {
    return setVolume(percent, Report::operatorToo);
}

bool VokarInfo::setVolume(std::int32_t percent, Report report) {
    if (!isOnline()) throw exception::Offline();
    if (percent < 0 || percent > 100) {
        debug::Place("device::VokarInfo::setVolume").warn(L"Некорректная громкость '%1%'", percent);
        return false;
    }
    return sendVolume(levelOfPercent(percent, getVersionId()), percent == volume.load(),
                      std::to_wstring(percent), report);
}

bool VokarInfo::inOwnScale(const Level& level) const {
    return level.perChannel == (getVersionId() < vokarA_3_00_01);
}

bool VokarInfo::setLevel(const Level& level, Report report) {
    // Not refused for status packets missed meanwhile: a level given back is asked of the
    // loudspeaker as long as it answers.
    // A level read before the firmware changed its scale means nothing now.
    if (!inOwnScale(level)) {
        debug::Place("device::VokarInfo::setLevel").warn(L"Некорректная громкость '%1%'", level.text());
        return false;
    }
    // Always sent: a level given back must not be skipped on a volume that a late reply of an
    // earlier check left in the cache.
    return sendVolume(level, false, level.shown(), report);
}

bool VokarInfo::sendVolume(const Level& level, bool unchanged, const std::wstring& shown, Report report) {
    const debug::Place here("device::VokarInfo::setVolume");
    const bool toOperator = report == Report::operatorToo;
    if (getVersionId() <= vokarA_2_01_72 && hasInternalPlaying() && !isPlaybackType(playback::sine)) {
        const wchar_t* busy =
            L"Вокар занят внутренним воспроизведением или сигналом ГОиЧС. Изменение уровня громкости не "
            L"произошло";
        toOperator ? here.notice(busy) : here.info(busy);
        return false;
    }
    if (unchanged) {
        here.debug(L"Skip changing volume to %1% (there are no differences)", level.percent);
        return true;
    }
    if (!transfer("set vol " + level.text(), nullptr, false)) {
        const wchar_t* refused = L"Не удалось назначить уровень громкости '%1%' устройству '%2%'";
        toOperator ? here.warn(refused, shown, hardwareAddress_.toCharArray())
                   : here.info(refused, shown, hardwareAddress_.toCharArray());
        return false;
    }
    ++levelsSet_;
    volume.store(level.percent);
    here.info(L"Назначен уровень громкости %1%%% устройству '%2%'", level.percent,
              hardwareAddress_.toCharArray());
    notifyWithState();
    return true;
}

bool VokarInfo::rememberLevel() {
    // Read even when the volume is known: the quietest percentage stands for every level below
    // it, and one percentage for both amplifier channels of the first generations.
    std::optional<Level> level;
    try {
        level = readLevel();
    } catch (const exception::ExternalError& error) {
        debug::Place("device::VokarInfo::rememberLevel")
            .debug(L"The level of '%1%' is not read: %2%", hardwareAddress_.toCharArray(),
                   exception::textOf(error));
    }
    if (!level) return false;
    if (level->percent == 0) return true;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        mutedLevel_ = level;
    }
    savedVolume.exchange(level->percent);
    return true;
}

bool VokarInfo::restoreLevel() {
    std::optional<Level> level;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        level = mutedLevel_;
    }
    // A level of the scale the firmware had before an update comes back as its percentage.
    if (level && level->percent == savedVolume.load() && inOwnScale(*level)) return setLevel(*level);
    return DeviceBase::restoreLevel();
}

void VokarInfo::handleVolume(const std::string& reply) {
    takeVolumeReply(reply);
}

std::optional<VokarInfo::Level> VokarInfo::readLevel() {
    // Never from the reply cache: the level may have changed since.
    std::optional<Level> level = takeVolumeReply(transfer("get vol"));
    if (!level || level->perChannel || level->decibels >= silentLevel) return level;
    // Below silent: given back as it is, it would be refused. Silent is the nearest level the
    // loudspeaker takes (above the loudest the reply already reads as the loudest).
    debug::Place("device::VokarInfo::readLevel")
        .info(L"The level '%1%' of '%2%' is below silent: taken as silent", level->text(), getDisplayName());
    level->decibels = static_cast<std::int32_t>(silentLevel);
    level->percent = 0;
    volume.store(0);
    return level;
}

bool VokarInfo::acceptsLevel(const Level& level) const {
    return inOwnScale(level) && (level.perChannel || (level.decibels >= silentLevel && level.decibels <= 0));
}

std::optional<VokarInfo::Level> VokarInfo::takeVolumeReply(const std::string& reply) {
    const debug::Place here("device::VokarInfo::handleVolume");
    here.trace(L"handle volume for device %1%", hardwareAddress_.toCharArray());
    lastVolumeReplyTime_.store(now());

    Level level;
    if (getVersionId() >= vokarA_3_00_01) {
        std::int64_t decibels = 0;
        if (!DeviceBase::parseIntValue(reply, decibels, std::numeric_limits<std::int32_t>::min(),
                                       std::numeric_limits<std::int32_t>::max())) {
            here.warn(L"Ошибка в формате громкости (hw='%1%', response='%2%')",
                      hardwareAddress_.toCharArray(), reply);
            return std::nullopt;
        }
        if (decibels > 0) {
            here.notice(L"Значение громкости вне диапазона. (%1%)", decibels);
            decibels = 0;
        }
        level.decibels = static_cast<std::int32_t>(decibels);
    } else {
        unsigned first = 0;
        unsigned second = 0;
        if (!parseChannelBytes(reply, first, second)) {
            here.warn(L"Ошибка в формате громкости прибора Вокар-A. (hw='%1%', response='%2%')",
                      hardwareAddress_.toCharArray(), reply);
            return std::nullopt;
        }
        level.perChannel = true;
        level.channels = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
    }
    const std::int32_t known = volume.load();
    level.percent = isAtLevel(level, known) ? known : percentOfLevel(level);
    volume.store(level.percent);
    return level;
}

bool VokarInfo::hasInternalPlaying() {
    if (!isOnlineAndResponding()) return false;
    if (isPlaybackType(playback::metaInternal)) return true;
    // The later generations report what their memory plays in their status packets; the first
    // ones may start it by themselves without telling.
    if (getVersionId() > vokarA_2_01_72) return false;
    const debug::Place here("device::VokarInfo::hasInternalPlaying");
    bool playing = false;
    try {
        const std::shared_ptr<memory::IAudioControl> memory = getAudioMemory(false, false);
        playing = memory && memory->isPlaying();
    } catch (const exception::Base& error) {
        here.debug(L"The audio memory does not tell whether it plays: %1%", error.what());
        return false;
    }
    if (!playing) return isPlaybackType(playback::metaInternal);
    if (isPlaybackType(playback::metaMemory)) return true;
    here.error(
        L"Внутренний тип воспроизведения прибора не совпадает со статусом воспроизведения памяти. (%1%)",
        playback::nameOf(getPlaybackType()));
    setPlaybackTypeForce(playback::scenarioServer);
    return true;
}

bool VokarInfo::switchChannel(AudioChannel channel) {
    return switchChannel(channel, false);
}

bool VokarInfo::switchChannel(AudioChannel channel, bool whateverKnown) {
    const debug::Place here("device::VokarInfo::switchChannel");
    const AudioChannel current = channel_.load();
    if (channel == current && !whateverKnown) {
        here.debug(L"Skip changing channel. Already done. (channel=%1%)", channel);
        return true;
    }
    const VokarVersion version = getVersionId();
    if (version <= vokarA_2_01_72 && hasInternalPlaying()) {
        here.info(L"Vokar is busy internal playing or GOChS. skip switching channel (id=%1%)", getId());
        return false;
    }
    if (version >= vokarB_1_00_56 && version <= vokarB_1_02_79 && channel == CHANNEL_DISCOVERY &&
        (current == repeaterChannel || isPlaybackType(playback::voiceHighRepeating))) {
        here.debug(L"Forbid to reset the repeater channel = %1%", current);
        return false;
    }
    if (channel > 1) requireMinimumVersion(vokarA_1_01_70);
    if (channel == noChannel) {
        here.warn(L"Внутренняя ошибка. Попытка переключить на неизвестный канал!");
        return false;
    }
    if (version == vokarV3_A110 && (current == 4 || current == 5)) {
        // This firmware leaves these channels only by way of channels 2 and 0; what it
        // answers to those two does not matter.
        transfer(channelCommand(2), nullptr, false);
        transfer(channelCommand(CHANNEL_DISCOVERY), nullptr, false);
    }

    std::string reply;
    if (!transfer(channelCommand(channel), &reply, false)) {
        here.trace(L"Failure to switch channel to %1% for device %2%", channel,
                   hardwareAddress_.toCharArray());
        return false;
    }
    // Taken, also when the loudspeaker carries it out only once its own playback ends.
    ++channelsSet_;
    if (isDeferred(reply)) {
        here.debug(L"Changing of channel is deferred for device=%1%, message is '%2%'", getId(), reply);
        channel_.store(noChannel);
        return false;
    }
    if (current != channel) {
        switchedFrom_.store(current);
        switchedAt_.store(base::clock::steadyMicros());
    }
    channel_.store(channel);
    PlaybackType type = playback::none;
    if (playbackOfChannel(channel, type)) setPlaybackType(type);
    here.trace(L"Switch channel to %1% for device %2%", channel, hardwareAddress_.toCharArray());
    return true;
}

AudioChannel VokarInfo::getChannel() {
    return getChannel(false);
}

AudioChannel VokarInfo::getChannel(bool whateverKnown) {
    const debug::Place here("device::VokarInfo::getChannel");
    if (getVersionId() >= vokarA_3_00_01) {
        std::uint32_t status = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(mutex());
            status = state_.playbackStatus;
        }
        if (playsOwnSource(status)) {
            channel_.store(noChannel);
            return CHANNEL_DISCOVERY;
        }
    }
    const AudioChannel current = channel_.load();
    if (current != noChannel && !whateverKnown) return current;

    const std::string reply = transfer("get ch");
    AudioChannel channel = noChannel;
    if (!DeviceBase::parseIntValue(reply, channel, 0, std::numeric_limits<AudioChannel>::max())) {
        here.warn(L"Значение канала некорректно.");
        return noChannel;
    }
    if (channel > highestChannel) {
        here.error(L"Получен неизвестный канал воспроизведения. (ch='%1%', response='%2%')", channel, reply);
        return noChannel;
    }
    channel_.store(channel);
    return channel;
}

Version VokarInfo::getPSSVersion() {
    requireMinimumVersion(vokarA_3_00_01);
    Version version;
    if (!isOnlineAndResponding()) return version;
    const std::string reply = transfer("get pssVer");
    const std::string text = "Vokar-B-PSS " + reply;
    if (!parseVersion(text, &version)) {
        debug::Place("device::VokarInfo::getPSSVersion")
            .warn(L"Получен неправильный формат версии блока питания: '%1%'", text);
        throw exception::UnexpectedResponseOfDevice(reply);
    }
    return version;
}

bool VokarInfo::testSoundPressure(std::uint32_t seconds) {
    const debug::Place here("device::VokarInfo::testSoundPressure");
    here.info(L"Тест звукового давления, продолжительность = %1% секунд", seconds);
    const bool laterGeneration = getVersionId() >= vokarA_3_00_01;
    const std::string tone = base::decimal(toneHz);
    const std::string start = laterGeneration ? "startSine " + tone : "sinus " + tone;
    const std::string stop = laterGeneration ? "stopSine" : "sinus off";

    if (seconds == 0) {
        if (std::optional<SoundPressureTest> running = takeSoundPressureTest(0))
            return finishSoundPressureTest(*running);
        return sendSoundPressureStop(stop);
    }
    const std::uint64_t delayMs = std::uint64_t{seconds} * 1000;
    if (delayMs > std::numeric_limits<std::uint32_t>::max()) {
        here.warn(L"Тест звукового давления не запущен: продолжительность %1% секунд слишком велика",
                  seconds);
        return false;
    }

    // A test started over a running one returns to the level from before the first. The level is
    // read in the loudspeaker's own scale, which tells apart what the quietest percentage does not.
    std::optional<Level> restore;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (soundTest_) restore = soundTest_->level;
    }
    if (!restore) {
        try {
            restore = readLevel();
        } catch (const exception::Offline&) {
        } catch (const exception::UnexpectedResponseOfDevice&) {
        }
        if (!restore) {
            here.warn(L"Тест звукового давления не запущен: уровень громкости устройства '%1%' неизвестен",
                      hardwareAddress_.toCharArray());
            return false;
        }
    }
    if (!transfer(start, nullptr, false)) return false;
    setPlaybackTypeForce(playback::sine);

    // From here on the stop is queued before anything else can fail.
    std::uint64_t serial = 0;
    std::uint32_t replacedJob = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        serial = ++lastSoundTestSerial_;
        if (soundTest_) replacedJob = soundTest_->stopJob;
        soundTest_ = SoundPressureTest{serial, 0, *restore, stop};
    }
    if (replacedJob != 0) base::ThreadDispatcher::remove(replacedJob);
    const std::shared_ptr<VokarInfo> device = self();
    const std::uint32_t job = base::ThreadDispatcher::add(
        L"Start sound pressure test", static_cast<std::uint32_t>(delayMs), [device, serial] {
            if (auto test = device->takeSoundPressureTest(serial)) device->finishSoundPressureTest(*test);
        });
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (soundTest_ && soundTest_->serial == serial) soundTest_->stopJob = job;
    }

    bool raised = false;
    try {
        raised = setVolume(100);
    } catch (...) {
        volume.store(kUnknownVolume);
        if (auto test = takeSoundPressureTest(serial)) finishSoundPressureTest(*test);
        throw;
    }
    if (!raised) {
        here.warn(L"Тест звукового давления остановлен: не удалось поднять громкость устройства '%1%'",
                  hardwareAddress_.toCharArray());
        // Whether the loudspeaker took the full volume is not known, so the old one is sent again.
        volume.store(kUnknownVolume);
        if (auto test = takeSoundPressureTest(serial)) finishSoundPressureTest(*test);
        return false;
    }
    return true;
}

std::optional<VokarInfo::SoundPressureTest> VokarInfo::takeSoundPressureTest(std::uint64_t serial) {
    std::optional<SoundPressureTest> test;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (!soundTest_ || (serial != 0 && soundTest_->serial != serial)) return test;
        test.swap(soundTest_);
    }
    if (test->stopJob != 0) base::ThreadDispatcher::remove(test->stopJob);
    return test;
}

bool VokarInfo::finishSoundPressureTest(const SoundPressureTest& test) {
    // The tone goes first, so that a loudspeaker that misses the volume does not go on
    // playing it at full volume; its answer also shows it online again for the volume.
    const bool stopped = sendSoundPressureStop(test.stopCommand);
    bool restored = false;
    try {
        restored = setLevel(test.level);
    } catch (const exception::Offline&) {
    }
    if (!restored) {
        debug::Place("device::VokarInfo::finishSoundPressureTest")
            .warn(
                L"Не удалось вернуть уровень громкости %1%%% устройству '%2%' после теста звукового давления",
                test.level.percent, hardwareAddress_.toCharArray());
    }
    return stopped;
}

bool VokarInfo::sendSoundPressureStop(const std::string& command) {
    if (!transfer(command, nullptr, false)) {
        debug::Place("device::VokarInfo::sendSoundPressureStop")
            .warn(L"Не удалось остановить тест звукового давления устройства '%1%'",
                  hardwareAddress_.toCharArray());
        return false;
    }
    setPlaybackTypeForce(playback::none);
    return true;
}

void VokarInfo::startDeviceTest() {
    requireMinimumVersion(vokarV3_A125);
    std::string reply;
    if (!transfer("deviceTest", &reply, false)) throw exception::UserResponse(L"testFailure", L"");
    if (base::scan::containsIgnoringCase(reply, "running"))
        throw exception::UserResponse(L"testIsRunning", L"");
}

bool VokarInfo::isTestRunning() const {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    return state_.selfTest == static_cast<std::uint32_t>(SelfTest::started);
}

std::string VokarInfo::debugInfoRequest(bool lineControl) const {
    if (isType(types::loudspeaker | types::vokarAGroup)) return "getLineParam";
    return lineControl ? "lsensor dbg" : "get dbg";
}

std::string VokarInfo::getDebugInfo() {
    return transfer(debugInfoRequest(false));
}

}  // namespace device
