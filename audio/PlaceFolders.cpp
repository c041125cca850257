#include "audio/PlaceFolders.h"

#include "foundation/DataFolders.h"
#include "foundation/Settings.h"

namespace audio {

std::wstring placeFolder(const setting::WideText& key, const wchar_t* dataSubfolder) {
    const std::wstring folder = pref::getWString(key);
    return folder.empty() ? os::joinPath(os::getApplicationDataDirectory(), dataSubfolder) : folder;
}

std::wstring gongFolder() {
    return placeFolder(setting::placePathDirGong, L"gong");
}

std::wstring serviceMessageFolder() {
    return placeFolder(setting::placePathDirServiceMessage, L"service");
}

std::wstring alarmMessageFolder() {
    return placeFolder(setting::placePathDirAlarmMessage, L"alarm");
}

std::wstring recordedMessageFolder() {
    return placeFolder(setting::placePathDirRecordedMessage, L"record");
}

}  // namespace audio
