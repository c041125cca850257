#include <gtest/gtest.h>

#include <vector>

#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "support/LogCapture.h"

namespace {

std::size_t indexOf(const std::vector<test::LogLine>& lines, const std::wstring& text,
                    const std::wstring& level) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].level == level && lines[i].message.find(text) != std::wstring::npos) return i;
    }
    return lines.size();
}

// The narrow text joins message and description in the "Russian" code page.
TEST(Exceptions, NarrowTextJoinsMessageAndDescription) {
    test::LogCapture capture;
    EXPECT_STREQ(exception::Offline().what(), "offline / ");
    EXPECT_STREQ(exception::UnsupportedByDevice(L"нет").what(), "unsupported / \xED\xE5\xF2");
}

TEST(Exceptions, UnexpectedResponseLogsTraceThenImportantAndItsCopiesNothing) {
    test::LogCapture capture;
    const exception::UnexpectedResponseOfDevice error("ERR busy");
    EXPECT_EQ(error.response, "ERR busy");
    EXPECT_EQ(error.description, L"ERR busy");
    EXPECT_EQ(error.message, L"Получен неожиданный ответ устройства");

    const auto lines = capture.lines();
    const auto trace =
        indexOf(lines, L"Exception: 'Получен неожиданный ответ устройства/ERR busy'", L"TRACE2");
    const auto important =
        indexOf(lines, L"Ошибка устройства: 'Получен неожиданный ответ устройства' / 'ERR busy'", L"IMPOR");
    ASSERT_LT(trace, lines.size());
    ASSERT_LT(important, lines.size());
    EXPECT_LT(trace, important);
    EXPECT_EQ(capture.find(L"Ошибка устройства").size(), 1u);

    // Copies log nothing.
    const exception::UnexpectedResponseOfDevice copy = error;
    const exception::Base base = error;
    EXPECT_EQ(copy.response, "ERR busy");
    EXPECT_STREQ(base.what(), error.what());
    EXPECT_EQ(capture.lines().size(), lines.size());
}

TEST(Checks, ThrowIfFalseLogsInOrder) {
    test::LogCapture capture;
    debug::throwIfFalse(true, "a::B::c");
    try {
        debug::throwIfFalse(false, "device::DeviceBase::upgradeFirmware");
        FAIL() << "no exception";
    } catch (const exception::ServerError& error) {
        EXPECT_EQ(error.message, L"Internal error");
        EXPECT_EQ(error.description, L"Внутренняя ошибка сервера");
    }
    const auto lines = capture.lines();
    const auto trace = indexOf(lines, L"debug::throwIfFalse", L"TRACE");
    const auto error =
        indexOf(lines, L"Проверяемое условие неверно! Место 'device::DeviceBase::upgradeFirmware'", L"ERROR");
    const auto built = indexOf(lines, L"Exception: 'Internal error/Внутренняя ошибка сервера'", L"TRACE2");
    ASSERT_LT(built, lines.size());
    EXPECT_LT(trace, error);
    EXPECT_LT(error, built);
    EXPECT_EQ(lines[trace].place, L"throwIfFalse");
}

TEST(Checks, WarnIfFalse) {
    test::LogCapture capture;
    debug::warnIfFalse(true, "a::B::quiet");
    debug::warnIfFalse(false, "a::B::loud");
    EXPECT_FALSE(capture.contains(L"a::B::quiet"));
    EXPECT_TRUE(capture.contains(L"Проверяемое условие неверно! Место 'a::B::loud'", L"WARN"));
}

TEST(Checks, TerminatingChecksStopTheProgram) {
    test::LogCapture capture;
    EXPECT_THROW(debug::terminateIfOutOfRange(3, -1, "p1"), exception::StopProgram);
    EXPECT_THROW(debug::terminateIfOutOfRange(3, 3, "p2"), exception::StopProgram);
    EXPECT_NO_THROW(debug::terminateIfOutOfRange(3, 2, "p3"));
    const std::vector<int> three{1, 2, 3};
    EXPECT_THROW(debug::terminateIfOutOfRange(three, 3u, "p4"), exception::StopProgram);
    EXPECT_THROW(debug::terminateIfNull(static_cast<int*>(nullptr), "p5"), exception::StopProgram);
    EXPECT_THROW(error::legacy_terminateIfEmpty(std::vector<int>(), "p6"), exception::StopProgram);
    EXPECT_THROW(error::legacy_terminateIfOutOfRange(three, 7u, "p7"), exception::StopProgram);
    EXPECT_THROW(error::legacy_terminateIfNull(nullptr, "p8"), exception::StopProgram);

    EXPECT_TRUE(capture.contains(L"Индекс данных - отрицательный. [size 3, index -1, place p1]", L"FATAL"));
    EXPECT_TRUE(capture.contains(L"Индекс данных вне диапазона. [size 3, index 3, place p2]", L"FATAL"));
    EXPECT_FALSE(capture.contains(L"p3"));
    EXPECT_TRUE(capture.contains(L"Индекс данных вне диапазона. [size 3, index 3, place p4]", L"FATAL"));
    EXPECT_TRUE(capture.contains(L"Указатель не установлен. Место 'p5'", L"FATAL"));
    EXPECT_TRUE(capture.contains(L"Internal error. Data are not available. Place p6", L"FATAL"));
    EXPECT_TRUE(
        capture.contains(L"Internal error. Data index out of bounds. size 3, index 7. Place p7", L"FATAL"));
    EXPECT_TRUE(capture.contains(L"Internal error. Pointer isn't set. Place p8", L"FATAL"));
}

}  // namespace
