#pragma once
// What the settings dialog edits, one field per settings key, apart from the window: read when
// the dialog opens, checked whole and written back only when every field is valid, so that a
// refused "&Сохранить" leaves every key as it was.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "panels/SettingsChecks.h"

namespace frm {

class SettingsForm {
public:
    enum Folder { gongFolder, serviceFolder, alarmFolder, recordedFolder, folderCount };
    enum Password { administratorPassword, alarmPassword, interfacePassword, passwordCount };

    // The default gong: copied from the "alarm" folder beside the program into the gong folder.
    static constexpr const wchar_t* kDefaultGongSource = L"0. Преамбула.mp3";
    static constexpr const wchar_t* kDefaultGong = L"Преамбула";
    static constexpr const wchar_t* kLogLevels[] = {L"trace3", L"trace2", L"trace", L"debug", L"info"};

    struct Refusal {
        // A WARN rather than a NOTICE.
        bool warning = false;
        std::wstring text;
    };

    // What the dialog does when it opens: reads every key it edits (a missing key is created with
    // its default), shows an empty folder setting as its folder in the data folder and creates
    // that folder, and with the alarm buttons puts the default gong into a gong folder that has
    // none. The password pairs stay empty.
    static SettingsForm open(bool administrator);

    // Every refusal, in the order of the pages; empty when all can be written. `opened` is the
    // form as open() gave it.
    std::vector<Refusal> check(const SettingsForm& opened) const;
    // Writes the keys; only after check() gave nothing. The network keys only in administrator
    // mode, the gong only with the alarm buttons, a password only when its box was filled, the
    // idle time only when it changed, and neither while the passwords are locked; an unchanged
    // folder keeps its key as it was.
    void write(const SettingsForm& opened) const;

    bool administrator = false;
    // `mainWindow.alarmButtons`: the alarm folder, the alarm password and the gong are shown.
    bool alarmButtons = false;

    std::array<std::wstring, folderCount> folders;
    // A gong file's name without folder and extension.
    std::wstring gongFile;
    int serviceVolume = 90;
    int microphoneVolume = 90;

    std::wstring interfaceName;
    std::string interfaceIp;
    std::wstring multicastAddress;
    int basePort = 11990;
    int ttl = 1;

    // Empty: the system's default capture device.
    std::wstring captureDevice;
    // Why the passwords and the idle time cannot be changed (outside the administrator mode, once
    // an administrator password is set): their boxes are disabled, and none is written.
    std::optional<std::wstring> passwordsLocked;
    std::array<PasswordPair, passwordCount> passwords;
    int idleMinutes = 10;
    std::wstring logLevel;
};

}  // namespace frm
