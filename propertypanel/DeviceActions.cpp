#include "propertypanel/DeviceActions.h"

namespace frm::actions {

Report lineMeasurement(bool line1, bool line2) {
    if (line1 && line2) return {Level::notice, L"Операция выполнена успешно"};
    std::wstring text = L"Параметры линии ";
    if (!line1) text += L"1 ";
    if (!line2) text += L"2 ";
    return {Level::warn, text + L"не соответствуют норме"};
}

std::optional<Report> deviceTestRefusal(const DeviceTestState& state) {
    if (state.running) return Report{Level::notice, L"Идёт тестирование прибора, ожидайте завершения"};
    if (state.internalPlaying) return Report{Level::notice, L"Устройство занято внутренним воспроизведением"};
    return std::nullopt;
}

Report deviceTestStarted(const std::optional<std::wstring>& startFailure) {
    if (!startFailure) return {Level::notice, L"Тест устройства запущен"};
    // The device answered that its test runs already: the same as seeing it in its state.
    if (*startFailure == L"testIsRunning") return *deviceTestRefusal({true, false});
    return {Level::warn, L"Тест устройства не запущен: " + *startFailure};
}

std::wstring forceQuestion(const std::wstring& code) {
    if (code == L"wrongPower") return L"Подключите 220 и зарядите батарею! Обновить принудительно?";
    return L"Попробовать обновить принудительно?";
}

std::wstring failedDeviceList(const std::vector<std::wstring>& names) {
    std::wstring list;
    for (const std::wstring& name : names) list += L"\t\"" + name + L"\"";
    return list;
}

}  // namespace frm::actions
