#include "panels/MicrophoneRules.h"

#include <algorithm>

namespace frm {

void MicrophoneOptions::chooseSource(bool list) {
    if (list == listSource) return;
    listSource = list;
    if (list) {
        rememberedBroadcast = broadcast;
        rememberedRecord = record;
        record = false;
        broadcast = true;
    } else {
        broadcast = rememberedBroadcast;
        record = rememberedRecord;
    }
}

MicrophoneControls microphoneControls(const MicrophoneOptions& options) {
    MicrophoneControls controls;
    controls.broadcast = !options.listSource;
    controls.record = !options.listSource;
    controls.title = !options.listSource && options.record;
    controls.gong = options.broadcast;
    controls.gongChoice = options.broadcast && options.gong;
    return controls;
}

MicrophoneRefusal microphoneRefusal(const MicrophoneStart& start) {
    const MicrophoneOptions& options = start.options;
    if (!options.broadcast && !options.record) return MicrophoneRefusal::noWay;
    if (options.listSource && !start.messageSelected) return MicrophoneRefusal::noMessage;
    if (options.listSource && options.record) return MicrophoneRefusal::listRecording;
    if (!options.broadcast) return MicrophoneRefusal::none;
    if (start.targets == 0) return MicrophoneRefusal::noDevice;
    if (!start.targetOnline) return MicrophoneRefusal::noDeviceOnline;
    if (!options.gong) return MicrophoneRefusal::none;
    if (start.gongSelection < 0) return MicrophoneRefusal::noGong;
    if (static_cast<std::size_t>(start.gongSelection) >= start.gongCount)
        return MicrophoneRefusal::gongOutOfRange;
    return MicrophoneRefusal::none;
}

const wchar_t* refusalText(MicrophoneRefusal refusal) {
    switch (refusal) {
        case MicrophoneRefusal::noWay:
            return L"Выберите один из способов передачи";
        case MicrophoneRefusal::noMessage:
            return L"Выберите сообщение для проигрывания";
        case MicrophoneRefusal::listRecording:
            return L"При проигрывании сообщения из списка, запись невозможна";
        case MicrophoneRefusal::noDevice:
            return L"Не выбрано ни одного устройства";
        case MicrophoneRefusal::noDeviceOnline:
            return L"Не выбрано ни одного устройства в сети";
        case MicrophoneRefusal::noGong:
            return L"Выберите гонг";
        case MicrophoneRefusal::none:
        case MicrophoneRefusal::gongOutOfRange:
            break;
    }
    return L"";
}

bool isRecordTitleAllowed(const std::wstring& title) {
    if (title.empty() || title.front() == L'.') return false;
    return std::none_of(title.begin(), title.end(), [](wchar_t c) {
        return c == L'/' || c == L'\\' || c < 0x20 || (c >= 0x7F && c <= 0x9F);
    });
}

}  // namespace frm
