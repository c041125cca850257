#pragma once
// Constant tables that several subsystems share: the names of line-control states, playback
// types and signals, the state codes of the status packets, and the colours, labels and texts
// of the windows. They are constant-initialised, so they can be read from any thread, from
// other initialisers and from the crash handlers, and are never torn down.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace base {

template <class Key, class Value>
struct TableRow {
    Key key;
    Value value;
};

// The value of the first row holding the key, or nothing.
template <class Key, class Value, std::size_t N, class Wanted>
constexpr std::optional<Value> findInTable(const std::array<TableRow<Key, Value>, N>& table,
                                           const Wanted& key) {
    for (const TableRow<Key, Value>& row : table) {
        if (row.key == key) return row.value;
    }
    return std::nullopt;
}

struct RgbColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

}  // namespace base

namespace device {

// Line-control state number -> name; state 0 has the empty name.
extern const std::array<base::TableRow<int, std::string_view>, 4> lineControlStateNames;
std::optional<std::string_view> lineControlStateName(int state);

// Playback type (class bits in the high word, source in the low word) -> name.
extern const std::array<base::TableRow<std::uint64_t, std::wstring_view>, 45> playbackTypeNames;
// A type that the table lacks is named "meta_over".
std::wstring_view playbackTypeName(std::uint64_t type);

// Status packet state code -> the number the state parsing works with.
extern const std::array<base::TableRow<std::uint16_t, int>, 14> stateCodeNumbers;
std::optional<int> stateCodeNumber(std::uint16_t code);

}  // namespace device

namespace debug {

// The name of one of the signals the crash and terminate handling reports ("SIGSEGV"), or
// nothing for any other number. Safe inside a signal handler.
std::optional<std::string_view> runtimeSignalName(int signal);

}  // namespace debug

namespace frm {

// Indicators of the device property panel.
constexpr base::RgbColour kIndicatorGreen{120, 234, 110};
constexpr base::RgbColour kIndicatorYellow{255, 216, 0};
constexpr base::RgbColour kIndicatorRed{255, 84, 81};
constexpr std::wstring_view kSoundPressureTestLabel = L"Тест звукового давления (1 кГц)";
constexpr std::wstring_view kSoundPressureTestRunningLabel = L"Завершить тест";

// Rows of the drive panel's and the playlist panel's lists.
constexpr base::RgbColour kSourceDevicePlayingText{0, 160, 33};
constexpr base::RgbColour kSourceDeviceOtherText{0, 0, 0};
constexpr base::RgbColour kSourcePlaylistPlayingText{0, 160, 33};
constexpr base::RgbColour kSourcePlaylistOtherText{0, 0, 0};

constexpr base::RgbColour kSchedulerItemBackground{235, 235, 235};

constexpr base::RgbColour kZoneStatusWarning{255, 216, 0};
// Prefixes of the zone status display's keys, one per kind of status line.
constexpr std::array<std::wstring_view, 10> kZoneStatusKeyPrefixes = {
    L"device-", L"ain-",    L"battery-",      L"u-",         L"ethernet-", L"playback-",
    L"mic-",    L"access-", L"audio-memory-", L"led-panel-",
};

constexpr std::wstring_view kCmdSuiteFileExtension = L".txt";
// Marks a scheduler file written in the current format.
constexpr std::string_view kSchedulerFileVersion = "scheduler_v2";

}  // namespace frm
