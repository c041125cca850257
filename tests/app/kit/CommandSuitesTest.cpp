// The saved command suites: names, and a suite stored and read again.

#include <gtest/gtest.h>

#include "app/kit/CommandSuites.h"
#include "foundation/Exceptions.h"
#include "support/TempFolder.h"

namespace {

using namespace frm::suites;

TEST(CommandSuites, NamesThatAreFileNamesOfTheirOwn) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"Проверка линии", true}, {L"", false},   {L".hidden", false}, {L"a/b", false},
        {L"a\\b", false},          {L"c:", false}, {L"x\ny", false},    {L"ok 1", true}};
    for (const auto& [name, valid] : cases) EXPECT_EQ(validName(name), valid) << name;
    EXPECT_FALSE(validName(std::wstring(65, L'a')));
}

TEST(CommandSuites, ASuiteIsStoredAndReadAgain) {
    test::TempFolder temp;
    const std::wstring folder = temp.widePath() + L"/commands";
    EXPECT_TRUE(names(folder).empty());
    save(folder, L"Линия", {L"get vol", L"", L"set line"});
    save(folder, L"Громкость", {L"get vol"});
    EXPECT_EQ(names(folder), (std::vector<std::wstring>{L"Громкость", L"Линия"}));
    EXPECT_EQ(load(folder, L"Линия"), (std::vector<std::wstring>{L"get vol", L"set line"}));
    remove(folder, L"Линия");
    EXPECT_EQ(names(folder), std::vector<std::wstring>{L"Громкость"});
    EXPECT_THROW(load(folder, L"Линия"), exception::ExternalError);
    EXPECT_THROW(save(folder, L"../x", {}), exception::UserError);
}

}  // namespace
