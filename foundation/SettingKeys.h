#pragma once
// Every key of the settings file with its type and the default that its readers pass, so
// that all readers of one key agree on it. Read and written through pref (Settings.h).

#include <cstddef>
#include <string>

namespace setting {

// The longest text a setting holds, in bytes: a path (PATH_MAX); a password's stored form, an
// address or a level is far shorter. A longer text is neither read from the file nor set.
inline constexpr std::size_t kLongestText = 4096;

struct Int {
    const char* key;
    int fallback;
};
struct Bool {
    const char* key;
    bool fallback;
};
// Narrow text in the "Russian" code page.
struct Text {
    const char* key;
    const char* fallback;
};
// Wide text (paths, names), stored narrowed; the default is the empty text.
struct WideText {
    const char* key;
};

// Any other text than "trace3", "trace2", "trace" and "debug" means INFO.
inline constexpr Text debugLevel{"debug.level", "info"};
inline constexpr Bool debugEnablePcm{"debug.enablePCM", false};
inline constexpr Bool debugLogVlclib{"debug.log.vlclib", false};
inline constexpr Bool debugChart{"debug.chart", false};
// -1: the panel chooses the position itself.
inline constexpr Int debugMainSplitter{"debug.mainSplitter", -1};
inline constexpr Int debugHistorySplitter{"debug.historySplitter", 200};
inline constexpr Text debugRefreshTime{"debug.refreshTime", "700"};

inline constexpr Int mainWindowTop{"mainWindow.top", -1};
inline constexpr Int mainWindowLeft{"mainWindow.left", -1};
inline constexpr Int mainWindowWidth{"mainWindow.width", -1};
// The key is spelled so in every existing settings file.
inline constexpr Int mainWindowHeight{"mainWindow.hight", -1};
inline constexpr Bool mainWindowMaximized{"mainWindow.maximized", false};
inline constexpr Bool mainWindowAlarmButtons{"mainWindow.alarmButtons", false};

inline constexpr Text multicastAddress{"multicast.address", "224.0.224.1"};
// The device command port; the common stream uses base + 1, the priority stream base + 2.
inline constexpr Int multicastBasePort{"multicast.basePort", 11990};
inline constexpr Int multicastTtl{"multicast.ttl", 1};
inline constexpr Bool multicastZeroPing{"multicast.zeroPing", true};
inline constexpr Bool multicastCommonStreamActive{"multicast.commonStream.active", true};
// kbit/s
inline constexpr Int multicastCommonStreamBitrate{"multicast.commonStream.bitrate", 128};
inline constexpr Int multicastMessagesStreamBitrate{"multicast.messagesStream.bitrate", 128};

inline constexpr Text netInterfaceIp{"net.interfaceIp", ""};
inline constexpr WideText netInterfaceDescription{"net.interfaceDescription"};

inline constexpr WideText placePathDirGong{"place.pathDirGong"};
inline constexpr WideText placePathFileGong{"place.pathFileGong"};
inline constexpr WideText placePathDirServiceMessage{"place.pathDirServiceMessage"};
inline constexpr WideText placePathDirAlarmMessage{"place.pathDirAlarmMessage"};
inline constexpr WideText placePathDirRecordedMessage{"place.pathDirRecordedMessage"};

inline constexpr WideText recordDeviceName{"record.deviceName"};
inline constexpr Bool recordGongEnable{"record.gongEnable", false};
inline constexpr WideText recordGongFileName{"record.gongFileName"};

// Stored forms of the passwords (base::encodePassword).
inline constexpr Text securityInterface{"security.interface", "5B3E0F91C24D"};
inline constexpr Text securityPlaybackAlarm{"security.playbackAlarm", "5B3E0F91C24D"};
inline constexpr Text securityAdministrator{"security.administrator", "5B3E0F91C24D"};
// Idle minutes before the window locks; 0 turns the lock off.
inline constexpr Int securityInterfaceTimeout{"security.interfaceTimeout", 10};

// The fingerprints of the records of another kind in "scheduler.xml" that the operator has been
// told of, separated by spaces: each is told once, not at every start.
inline constexpr Text schedulerToldRecords{"scheduler.toldRecords", ""};
// Nine bytes a fingerprint with its blank: some 1800 records.
inline constexpr std::size_t kLongestToldRecords = 16 * 1024;

inline constexpr Int volumeMicrophone{"volume.microphone2", 90};
inline constexpr Int volumeServiceMessage{"volume.serviceMessage2", 90};

// The longest text the key holds.
inline std::size_t longestText(const std::string& key) {
    return key == schedulerToldRecords.key ? kLongestToldRecords : kLongestText;
}

}  // namespace setting
