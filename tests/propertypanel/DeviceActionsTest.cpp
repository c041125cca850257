// What the common page's device actions tell the operator.

#include <gtest/gtest.h>

#include "propertypanel/DeviceActions.h"

namespace {

using namespace frm::actions;

TEST(DeviceActions, LineMeasurement) {
    const struct {
        bool line1, line2;
        Report report;
    } cases[] = {
        {true, true, {Level::notice, L"Операция выполнена успешно"}},
        {true, false, {Level::warn, L"Параметры линии 2 не соответствуют норме"}},
        {false, true, {Level::warn, L"Параметры линии 1 не соответствуют норме"}},
        {false, false, {Level::warn, L"Параметры линии 1 2 не соответствуют норме"}},
    };
    for (const auto& c : cases) EXPECT_EQ(lineMeasurement(c.line1, c.line2), c.report);
}

TEST(DeviceActions, DeviceTestRefusalsInOrderAndAFailedStart) {
    const Report running{Level::notice, L"Идёт тестирование прибора, ожидайте завершения"};
    EXPECT_EQ(deviceTestRefusal({true, true}), running);
    EXPECT_EQ(deviceTestRefusal({false, true}),
              (Report{Level::notice, L"Устройство занято внутренним воспроизведением"}));
    EXPECT_EQ(deviceTestRefusal({false, false}), std::nullopt);

    EXPECT_EQ(deviceTestStarted(std::nullopt), (Report{Level::notice, L"Тест устройства запущен"}));
    EXPECT_EQ(deviceTestStarted(std::wstring(L"testIsRunning")), running);
    EXPECT_EQ(deviceTestStarted(std::wstring(L"testFailure")).level, Level::warn);
}

TEST(DeviceActions, FirmwareQuestionAndFailedDevices) {
    EXPECT_EQ(forceQuestion(L"wrongPower"), L"Подключите 220 и зарядите батарею! Обновить принудительно?");
    EXPECT_EQ(forceQuestion(L"wrongVersion"), L"Попробовать обновить принудительно?");
    EXPECT_EQ(failedDeviceList({L"Зал", L"Холл"}), L"\t\"Зал\"\t\"Холл\"");
}

}  // namespace
