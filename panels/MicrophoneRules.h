#pragma once
// What the microphone panel decides, apart from its window: which option controls are enabled,
// what choosing the source does to the ways of passing the sound, why a start is refused, and
// which recording titles may become file names.

#include <cstddef>
#include <string>

namespace frm {

// The options as the operator set them.
struct MicrophoneOptions {
    // "Список": a recorded message instead of the microphone.
    bool listSource = false;
    // "Трансляция", "Запись" and the gong's "Включить".
    bool broadcast = false;
    bool record = false;
    bool gong = false;
    // "Трансляция" and "Запись" as they were before "Список" was chosen.
    bool rememberedBroadcast = false;
    bool rememberedRecord = false;

    // "Список" remembers both ways, leaves only the broadcast and "Микрофон" gives them back.
    void chooseSource(bool list);
};

// Which option controls are enabled. A message from the list is only broadcast, the title
// belongs to a recording and the gong to a broadcast.
struct MicrophoneControls {
    bool broadcast = false;
    bool record = false;
    bool title = false;
    bool gong = false;
    bool gongChoice = false;
};
MicrophoneControls microphoneControls(const MicrophoneOptions& options);

// What the check before a start looks at.
struct MicrophoneStart {
    MicrophoneOptions options;
    bool messageSelected = false;
    std::size_t targets = 0;
    // Whether one of the targets is online and responding.
    bool targetOnline = false;
    // The gong choice's selection (-1: none) and the number of gong files.
    int gongSelection = -1;
    std::size_t gongCount = 0;
};

// Why a start is refused, in the order the check asks.
enum class MicrophoneRefusal {
    none,
    noWay,
    noMessage,
    listRecording,
    noDevice,
    noDeviceOnline,
    noGong,
    // The gong selection lies beyond the gong files: an internal error.
    gongOutOfRange,
};
MicrophoneRefusal microphoneRefusal(const MicrophoneStart& start);
// The text shown to the operator; empty for none and the internal error.
const wchar_t* refusalText(MicrophoneRefusal refusal);

// A title becomes the file name of a recording in the record folder. Refused: a path separator,
// a control character, and a leading dot ("." and ".." and hidden files, which the list never
// shows).
bool isRecordTitleAllowed(const std::wstring& title);

}  // namespace frm
