#include "app/StartupDecisions.h"

#include <arpa/inet.h>

#include <algorithm>

#include "app/kit/LockRules.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"

namespace app {
namespace {

// The loopback network cannot go away; tests and a head-end without a LAN work on it.
bool isLoopback(const std::string& ip) {
    in_addr address{};
    return inet_pton(AF_INET, ip.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

}  // namespace

StartDecision decideStart(bool quitOption, bool anotherCopyRuns) {
    if (quitOption) return anotherCopyRuns ? StartDecision::askRunningToStop : StartDecision::endQuietly;
    return anotherCopyRuns ? StartDecision::refuseSecond : StartDecision::start;
}

std::optional<std::wstring> startNotice(bool firstStart, bool alarmFunctions) {
    if (!firstStart) return std::nullopt;
    // Broken into lines: the message box does not wrap its text.
    std::wstring text =
        L"После первого запуска в общих настройках необходимо сменить пароль и выбрать сетевой "
        L"интерфейс для вещания\nЭто первый запуск программы.\n";
    if (alarmFunctions) {
        text += L"Задайте пароли администратора, воспроизведения тревог и блокирования интерфейса\n" +
                frm::whereToSetPasswords() +
                L": пока они не заданы, тревожные сообщения не запускаются,\n"
                L"режим администратора не включается и интерфейс не блокируется.\n";
    } else {
        text += L"Задайте пароли администратора и блокирования интерфейса\n" + frm::whereToSetPasswords() +
                L": пока они не заданы, режим администратора не включается\nи интерфейс не блокируется.\n"
                L"Тревожные сообщения не запускаются: " +
                frm::alarmFunctionsOffText() + L".\n";
    }
    return text +
           L"Сетевой интерфейс для вещания выбирается на странице «Сеть» того же окна в режиме "
           L"администратора.";
}

bool isFirstStart(const pref& settings) {
    return settings.isNew() && settings.unreadReason().empty();
}

std::optional<std::wstring> unreadSettingsNotice(const pref& settings) {
    if (settings.unreadReason().empty()) return std::nullopt;
    // Broken into lines: the message box does not wrap its text.
    std::wstring text = L"Файл настроек '" + base::fromUtf8(settings.path()) + L"' не прочитан (" +
                        settings.unreadReason() + L").\n";
    text += settings.keptAs().empty() ? std::wstring(
                                            L"Переименовать его не удалось: он остаётся как есть,\nи "
                                            L"настройки этого запуска не будут сохранены.\n")
                                      : L"Он сохранён как '" + settings.keptAs() + L"'.\n";
    return text +
           L"Программа работает с настройками по умолчанию, пока их не зададут снова: пароли не заданы,\nи " +
           frm::alarmFunctionsOffText() + L".\nПароли задаются " + frm::whereToSetPasswords() +
           L",\nсетевой интерфейс для вещания выбирается на странице «Сеть» того же окна в режиме "
           L"администратора.";
}

InterfaceChoice chooseInterface(const std::string& savedIp, const std::wstring& savedName,
                                const std::vector<os::NetworkInterface>& interfaces) {
    const bool present =
        std::any_of(interfaces.begin(), interfaces.end(),
                    [&](const os::NetworkInterface& record) { return record.up && record.ip == savedIp; });
    if (!savedIp.empty() && (isLoopback(savedIp) || present)) return {savedIp, false};
    return {os::nameToIp(savedIp, savedName, interfaces), !savedIp.empty()};
}

}  // namespace app
