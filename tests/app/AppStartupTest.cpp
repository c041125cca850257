#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "app/DebugPref.h"
#include "app/MainLoopExceptions.h"
#include "app/Options.h"
#include "foundation/Exceptions.h"
#include "support/LogCapture.h"

namespace {

TEST(DebugPref, LevelTextsAreComparedExactly) {
    const std::pair<const wchar_t*, base::Log::Level> cases[] = {
        {L"trace3", base::Log::TRACE3}, {L"trace2", base::Log::TRACE2}, {L"trace", base::Log::TRACE},
        {L"debug", base::Log::DEBUG},   {L"info", base::Log::INFO},     {L"TRACE", base::Log::INFO},
        {L"trace ", base::Log::INFO},   {L"", base::Log::INFO},         {L"error", base::Log::INFO},
    };
    for (const auto& [text, level] : cases) EXPECT_EQ(app::levelFromSetting(text, false), level) << text;
    EXPECT_EQ(app::levelFromSetting(L"info", true), base::Log::TRACE3);
}

// One box per event: the one line at a box's level, in the operator's words.
TEST(MainLoopExceptions, EachFaultLogsOneLineForTheOperatorsBox) {
    const struct {
        std::exception_ptr error;
        const wchar_t* level;
        const wchar_t* words;
        const wchar_t* detail;  // of the line beside it, which shows no box
    } cases[] = {
        {std::make_exception_ptr(exception::Offline()), L"WARN", L"Устройство не в сети.",
         L"Device is offline"},
        {std::make_exception_ptr(exception::InternalError(L"поломка")), L"ERROR", L"поломка", L"поломка"},
        {std::make_exception_ptr(exception::UserResponse(L"zoneBusy", L"")), L"WARN",
         L"Эта зона уже назначена пульту.", L"'zoneBusy'"},
        {std::make_exception_ptr(exception::UserResponse(L"someCode", L"")), L"WARN",
         L"Устройство отказало в операции (код 'someCode')", L"'someCode'"},
        {std::make_exception_ptr(exception::UnsupportedByDevice(L"Не поддерживается устройством")), L"WARN",
         L"Не поддерживается устройством", L"'unsupported'"},
        {std::make_exception_ptr(exception::UnsupportedByDevice(L"V3_A125")), L"WARN",
         L"Прошивка устройства не поддерживает эту операцию: нужна версия V3_A125 или новее.", L"'V3_A125'"},
        {std::make_exception_ptr(std::runtime_error("boom")), L"ERROR", L"Внутренняя ошибка программы.",
         L"boom"},
        {std::make_exception_ptr(42), L"ERROR", L"Внутренняя ошибка программы.", L"unknown exception"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.words)));
        test::LogCapture capture;
        EXPECT_EQ(app::handleMainLoopException(c.error), app::MainLoopOutcome::goOn);
        std::vector<test::LogLine> boxes;
        for (const test::LogLine& line : capture.lines()) {
            if (line.level == L"NOTICE" || line.level == L"WARN" || line.level == L"ERROR" ||
                line.level == L"FATAL")
                boxes.push_back(line);
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].level, c.level);
        EXPECT_EQ(boxes[0].message, c.words);
        EXPECT_TRUE(capture.contains(c.detail, L"IMPOR"));
    }
    test::LogCapture capture;
    EXPECT_EQ(app::handleMainLoopException(std::make_exception_ptr(exception::StopProgram())),
              app::MainLoopOutcome::endProgram);
    EXPECT_TRUE(capture.find(L"", L"WARN").empty());
    EXPECT_TRUE(capture.find(L"", L"ERROR").empty());
}

TEST(Options, EveryOptionAndItsNegation) {
    std::string unknown;
    app::Options options =
        app::parseOptions({"--trace", "--output", "--no-trace", "--quit", "--fullscreen"}, unknown);
    EXPECT_TRUE(unknown.empty());
    EXPECT_FALSE(options.trace);
    EXPECT_TRUE(options.output);
    EXPECT_TRUE(options.quit);
    EXPECT_TRUE(options.fullscreen);
    app::parseOptions({"--dev", "--bogus"}, unknown);
    EXPECT_EQ(unknown, "--bogus");
}

}  // namespace
