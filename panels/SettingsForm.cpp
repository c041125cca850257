#include "panels/SettingsForm.h"

#include <algorithm>

#include "app/kit/LockRules.h"
#include "audio/PlaceFolders.h"
#include "foundation/DataFolders.h"
#include "foundation/Files.h"
#include "foundation/NetworkAddress.h"
#include "foundation/NetworkInterfaces.h"
#include "foundation/Password.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

struct FolderKey {
    setting::WideText key;
    // The folder in the data folder that an empty setting stands for.
    const wchar_t* dataSubfolder;
};
constexpr FolderKey kFolders[SettingsForm::folderCount] = {
    {setting::placePathDirGong, L"gong"},
    {setting::placePathDirServiceMessage, L"service"},
    {setting::placePathDirAlarmMessage, L"alarm"},
    {setting::placePathDirRecordedMessage, L"record"},
};

struct PasswordKey {
    setting::Text key;
    const wchar_t* changed;
};
constexpr PasswordKey kPasswords[SettingsForm::passwordCount] = {
    {setting::securityAdministrator, L"Изменен пароль администратора"},
    {setting::securityPlaybackAlarm, L"Изменен пароль для воспроизведения тревог"},
    {setting::securityInterface, L"Изменен пароль для блокировки интерфейса"},
};

constexpr const wchar_t* kDefaultMulticast = L"224.0.224.1";
constexpr int kLowestBasePort = 2000;
constexpr int kHighestBasePort = 65000;
constexpr int kHighestTtl = 255;

std::wstring shownFolder(const FolderKey& folder) {
    const std::wstring path = audio::placeFolder(folder.key, folder.dataSubfolder);
    if (!pref::getWString(folder.key).empty()) return path;
    if (const std::error_code error = base::createFolders(path))
        debug::Place("frm::SettingsForm::open")
            .warn(L"Не удалось создать папку '%1%': %2%", path, os::errorText(error.value()));
    return path;
}

void installDefaultGong(const std::wstring& gongFolder) {
    const std::wstring name = std::wstring(SettingsForm::kDefaultGong) + L".mp3";
    if (base::pathExists(os::joinPath(gongFolder, name))) return;
    const std::wstring source =
        os::joinPath(os::joinPath(os::getApplicationDirectory(), L"alarm"), SettingsForm::kDefaultGongSource);
    if (const std::error_code error = base::copyToNewFile(source, os::joinPath(gongFolder, name))) {
        debug::Place("frm::SettingsForm::open")
            .warn(L"Гонг не найден! Ошибка: %1%", os::errorText(error.value()));
        return;
    }
    pref::setWString(setting::placePathFileGong.key, SettingsForm::kDefaultGong);
}

std::wstring knownLogLevel(const std::wstring& level) {
    const auto* end = std::end(SettingsForm::kLogLevels);
    return std::find(std::begin(SettingsForm::kLogLevels), end, level) != end ? level : L"info";
}

}  // namespace

SettingsForm SettingsForm::open(bool administrator) {
    SettingsForm form;
    form.administrator = administrator;
    form.folders[gongFolder] = shownFolder(kFolders[gongFolder]);
    form.alarmButtons = pref::getBool(setting::mainWindowAlarmButtons);
    if (form.alarmButtons) installDefaultGong(form.folders[gongFolder]);
    for (int folder = serviceFolder; folder < folderCount; ++folder)
        form.folders[folder] = shownFolder(kFolders[folder]);
    form.gongFile = pref::getWString(setting::placePathFileGong);
    form.serviceVolume = pref::getInt(setting::volumeServiceMessage);
    form.microphoneVolume = pref::getInt(setting::volumeMicrophone);

    form.interfaceName = pref::getWString(setting::netInterfaceDescription);
    form.interfaceIp = os::nameToIp(pref::getString(setting::netInterfaceIp), form.interfaceName);
    if (administrator) {
        form.basePort = pref::getInt(setting::multicastBasePort);
        form.ttl = pref::getInt(setting::multicastTtl);
        std::wstring address;
        std::wstring port;
        const std::string stored =
            pref::getString(setting::multicastAddress) + ":" + std::to_string(form.basePort + 1);
        form.multicastAddress = splitAddressAndPort(stored, address, port) ? address : kDefaultMulticast;
    } else {
        form.multicastAddress = kDefaultMulticast;
    }

    form.captureDevice = pref::getWString(setting::recordDeviceName);
    form.passwordsLocked = passwordsLockedNote(administrator, isPasswordSet(setting::securityAdministrator));
    form.idleMinutes = pref::getInt(setting::securityInterfaceTimeout);
    form.logLevel = knownLogLevel(base::widen(pref::getString(setting::debugLevel)));
    return form;
}

std::vector<SettingsForm::Refusal> SettingsForm::check(const SettingsForm& opened) const {
    std::vector<Refusal> refusals;
    for (int folder = 0; folder < folderCount; ++folder) {
        if (auto refusal = folderRefusal(folders[folder], opened.folders[folder]))
            refusals.push_back({false, *refusal});
    }
    if (alarmButtons) {
        if (auto refusal = choiceRefusal(gongFile, opened.gongFile, L"Гонг"))
            refusals.push_back({false, *refusal});
    }
    if (administrator) {
        if (!net::isMulticast(base::narrow(multicastAddress)))
            refusals.push_back({true, L"Ошибка при вводе IP адреса"});
        if (basePort < kLowestBasePort || basePort > kHighestBasePort)
            refusals.push_back({false, L"Базовый порт должен быть от 2000 до 65000"});
        if (ttl < 1 || ttl > kHighestTtl)
            refusals.push_back({false, L"Время жизни мультикаста должно быть от 1 до 255"});
    }
    if (auto refusal = choiceRefusal(captureDevice, opened.captureDevice, L"Устройство записи"))
        refusals.push_back({false, *refusal});
    for (int password = 0; password < passwordCount && !passwordsLocked; ++password) {
        if (auto refusal = passwordRefusal(passwords[password], passwordTitle(kPasswords[password].key)))
            refusals.push_back({false, *refusal});
    }
    return refusals;
}

void SettingsForm::write(const SettingsForm& opened) const {
    const debug::Place place("frm::SettingsForm::write");
    place.trace(L"Save settings...");
    for (int folder = 0; folder < folderCount; ++folder) {
        if (folders[folder] != opened.folders[folder])
            pref::setWString(kFolders[folder].key.key, folders[folder]);
    }
    if (alarmButtons) pref::setWString(setting::placePathFileGong.key, gongFile);
    pref::setInt(setting::volumeServiceMessage.key, serviceVolume);
    pref::setInt(setting::volumeMicrophone.key, microphoneVolume);
    pref::setWString(setting::recordDeviceName.key, captureDevice);

    if (administrator) {
        place.trace(L"save admin settings");
        if (!interfaceIp.empty()) {
            pref::setWString(setting::netInterfaceDescription.key, interfaceName);
            pref::setString(setting::netInterfaceIp.key, interfaceIp);
            place.debug(L"saved interface pair is '%1%/%2%'", interfaceName, interfaceIp);
        }
        pref::setString(setting::multicastAddress.key, base::narrow(multicastAddress));
        pref::setInt(setting::multicastBasePort.key, basePort);
        pref::setInt(setting::multicastTtl.key, ttl);
    } else {
        place.trace(L"skip admin settings");
    }

    place.trace3(L"Save pwd...");
    for (int password = 0; password < passwordCount && !passwordsLocked; ++password) {
        if (passwords[password].empty()) continue;
        pref::setString(kPasswords[password].key.key,
                        base::narrow(base::toHexSpaced(passwords[password].typed)));
        place.info(kPasswords[password].changed);
    }
    if (!passwordsLocked && idleMinutes != pref::getInt(setting::securityInterfaceTimeout)) {
        pref::setInt(setting::securityInterfaceTimeout.key, idleMinutes);
        place.info(L"Установлено время до блокировки интерфейса = %1% мин", idleMinutes);
    }
    pref::setString(setting::debugLevel.key, base::narrow(logLevel));
    place.trace2(L"The settings are saved");
}

}  // namespace frm
