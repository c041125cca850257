#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>
#include <system_error>

#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace {

// The program runs in the Russian locale, where the system writes its error texts in UTF-8; the log
// reads the program's narrow text, so they must reach it as the system wrote them.
TEST(ErrorText, ReadsBackAsTheSystemWroteItInTheRussianLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr);
    for (const int error : {ENETUNREACH, ECONNREFUSED, EADDRINUSE, 9999}) {
        const std::string system = std::strerror(error);
        EXPECT_EQ(base::toUtf8(base::widen(os::errorText(error))), system) << error;
        const std::system_error thrown(error, os::errorCategory(), "send");
        EXPECT_EQ(base::toUtf8(base::widen(thrown.what())), "send: " + system) << error;
        EXPECT_EQ(thrown.code(), std::error_condition(error, std::generic_category())) << error;
    }
    std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
