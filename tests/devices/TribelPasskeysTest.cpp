// A console's access keys against the emulated console: listing, learning, deleting, resetting,
// and the refusal to require keys the console does not have.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/TribelInfo.h"
#include "foundation/Exceptions.h"
#include "tests/devices/TribelFixture.h"

namespace {

using namespace device;
using Fault = test::EmulatedDevice::Fault;

std::wstring describe(const std::vector<TribelInfo::Passkey>& keys) {
    std::wstring text;
    for (const TribelInfo::Passkey& key : keys)
        text += key.name + L"=" + std::wstring(key.key.begin(), key.key.end()) + (key.listed ? L";" : L"?;");
    return text;
}

class TribelPasskeysTest : public test::TribelFixture {};

TEST_F(TribelPasskeysTest, KeysAreLearntListedDeletedAndReset) {
    auto [emulated, console] = connected();

    // Without keys the console may not require one.
    EXPECT_EQ(describe(console->getPasskeys()), L"");
    TribelInfo::Config config = console->getConfig(false);
    config.passkey = true;
    EXPECT_EQ(test::thrown<exception::UserResponse>([&] { console->setConfig(config); },
                                                    &exception::Base::description),
              L"Проверка наличия ключей доступа");
    EXPECT_EQ(sent(*emulated), "passkeyList; get state");
    EXPECT_EQ(emulated->settings().passkey, false);

    // Learning: the console listens until a key is shown to it.
    emulated->clearReceived();
    console->addPasskey();
    EXPECT_TRUE(console->requestPasskeys());
    EXPECT_TRUE(console->requestPasskeys());
    emulated->presentKey("A1");
    EXPECT_FALSE(console->requestPasskeys());
    EXPECT_EQ(describe(console->getPasskeys()), L"Ключ 1=A1;");
    console->finishPasskey();
    EXPECT_EQ(sent(*emulated), "passkeyAdd; passkeyList; passkeyList; passkeyList");

    // A list taken while the console still listens is asked for again; finishing sends the end.
    emulated->setPasskeys({"A1", "B2"});
    console->addPasskey();
    emulated->clearReceived();
    EXPECT_EQ(describe(console->getPasskeys()), L"Ключ 1=A1;Ключ 2=B2;");
    EXPECT_EQ(describe(console->getPasskeys()), L"Ключ 1=A1;Ключ 2=B2;");
    console->finishPasskey();
    EXPECT_EQ(sent(*emulated), "passkeyList; passkeyList; passkeyFinish");
    EXPECT_FALSE(emulated->learning());
    EXPECT_FALSE(console->setConfig(config));
    EXPECT_EQ(emulated->settings().passkey, true);

    // Deleting: a key that is not hexadecimal or not listed is refused before anything is sent.
    emulated->clearReceived();
    EXPECT_THROW(console->deletePasskey("G1"), exception::IncorrectFormat);
    EXPECT_EQ(
        test::thrown<exception::UserError>([&] { console->deletePasskey("C3"); }, &exception::Base::message),
        L"Ключ не существует");
    EXPECT_EQ(sent(*emulated), "");
    console->deletePasskey("A1");
    EXPECT_EQ(sent(*emulated), "passkeyDel A1; passkeyList");
    EXPECT_EQ(describe(console->getPasskeys()), L"Ключ 1=B2;");
    console->resetPasskeys();
    EXPECT_TRUE(emulated->passkeys().empty());
    EXPECT_EQ(describe(console->getPasskeys()), L"");

    // A console that plays refuses the changes; a poll that is not answered is no learning.
    ASSERT_TRUE(takeStatus(*emulated, *console, [](auto& s) { s.playbackState = 0x02; }));
    for (const auto& change : std::vector<std::function<void()>>{[&] { console->addPasskey(); },
                                                                 [&] { console->deletePasskey("B2"); },
                                                                 [&] { console->resetPasskeys(); }}) {
        EXPECT_EQ(test::thrown<exception::UserResponse>(change, &exception::Base::message),
                  L"internalPlaying");
    }
}

TEST_F(TribelPasskeysTest, AListThatDoesNotReadIsNeverTakenInPart) {
    auto [emulated, console] = connected();
    emulated->setPasskeys({"A1"});
    EXPECT_EQ(describe(console->getPasskeys()), L"Ключ 1=A1;");

    console->resetCache();
    emulated->faultOn("passkeyList", 0, Fault::error);
    EXPECT_FALSE(console->requestPasskeys());
    emulated->answer("passkeyList", test::successReply("B2,,C3"));
    EXPECT_EQ(test::thrown<exception::UnexpectedResponseOfDevice>(
                  [&] { console->getPasskeys(); }, &exception::UnexpectedResponseOfDevice::response),
              "B2,,C3");
    EXPECT_FALSE(console->requestPasskeys());
    // Nothing of the refused list was kept: the key vector is the last one read, and the
    // next listing asks again.
    EXPECT_THROW(console->deletePasskey("B2"), exception::UserError);
    emulated->answer("passkeyList", test::successReply("no"));
    emulated->clearReceived();
    console->deletePasskey("A1");
    EXPECT_EQ(sent(*emulated), "passkeyDel A1; passkeyList");
}

}  // namespace
