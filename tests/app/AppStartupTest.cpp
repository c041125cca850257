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

TEST(MainLoopExceptions, ClausesAndOutcome) {
    test::LogCapture capture;
    std::vector<std::wstring> shown;
    const auto show = [&](const std::wstring& text) { shown.push_back(text); };
    const auto handle = [&](auto error) { return app::handleMainLoopException(std::make_exception_ptr(error), show); };

    EXPECT_EQ(handle(exception::Offline()), app::MainLoopOutcome::goOn);
    EXPECT_EQ(shown.back(), L"Устройство не в сети.");
    EXPECT_EQ(handle(exception::InternalError(L"поломка")), app::MainLoopOutcome::goOn);
    EXPECT_EQ(shown.back(), L"поломка");
    EXPECT_EQ(handle(exception::UserResponse(L"zoneBusy", L"")), app::MainLoopOutcome::goOn);
    EXPECT_EQ(shown.back(), L"zoneBusy");
    EXPECT_EQ(handle(std::runtime_error("boom")), app::MainLoopOutcome::goOn);
    EXPECT_EQ(handle(42), app::MainLoopOutcome::goOn);
    const std::size_t shownBeforeStop = shown.size();
    EXPECT_EQ(handle(exception::StopProgram()), app::MainLoopOutcome::endProgram);
    EXPECT_EQ(shown.size(), shownBeforeStop);
    EXPECT_TRUE(capture.contains(L"boom", L"ERROR"));
}

TEST(Options, EveryOptionAndItsNegation) {
    std::string unknown;
    app::Options options = app::parseOptions({"--trace", "--output", "--no-trace", "--quit", "--fullscreen"}, unknown);
    EXPECT_TRUE(unknown.empty());
    EXPECT_FALSE(options.trace);
    EXPECT_TRUE(options.output);
    EXPECT_TRUE(options.quit);
    EXPECT_TRUE(options.fullscreen);
    app::parseOptions({"--dev", "--bogus"}, unknown);
    EXPECT_EQ(unknown, "--bogus");
}

}  // namespace
