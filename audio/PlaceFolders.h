#pragma once
// The folders of gongs and messages: a `place.*` setting, or, while it is empty, a subfolder of
// the data folder ("gong", "service", "alarm", "record").

#include <string>

#include "foundation/SettingKeys.h"

namespace audio {

std::wstring placeFolder(const setting::WideText& key, const wchar_t* dataSubfolder);

std::wstring gongFolder();
std::wstring serviceMessageFolder();
std::wstring alarmMessageFolder();
std::wstring recordedMessageFolder();

}  // namespace audio
