// A console's audio memory: fragments without scenarios, written and read back, and the gong
// that follows its fragment when a write moves it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devicelink/IAudioControl.h"
#include "devicememory/V4AudioMemory.h"
#include "devices/TribelInfo.h"
#include "foundation/Exceptions.h"
#include "tests/devices/TribelFixture.h"

namespace {

using namespace device;

std::string data(std::size_t size, char seed) {
    std::string bytes(size, seed);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i % 13);
    return bytes;
}

std::wstring names(memory::IAudioControl& memory) {
    std::wstring text;
    for (const memory::FragmentEntry& entry : memory.getFragments())
        text += std::to_wstring(entry.id) + L"@" + std::to_wstring(entry.order) + L"=" + entry.name + L";";
    for (const memory::ScenarioEntry& entry : memory.getScenarios()) text += L"scenario " + entry.name + L";";
    return text;
}

class TribelMemoryTest : public test::TribelFixture {
protected:
    // Writes the changes and waits until the console took what follows a write: the settings
    // run as a job that the write's last completion queues, so the dispatcher is waited for twice.
    static void write(memory::IAudioControl& memory) {
        memory.writeChanges(nullptr);
        ASSERT_TRUE(test::waitFor([&] { return memory.getWriteProgress() == 100; }));
        ASSERT_TRUE(test::waitForDispatcher());
        ASSERT_TRUE(test::waitForDispatcher());
    }
    // The console's memory read from its flash anew.
    static std::shared_ptr<memory::IAudioControl> reread(TribelInfo& console) {
        console.releaseAudioMemory();
        return console.getAudioMemory(false, true);
    }
    // Two fragments written, the second the console's gong (it plays the one at position 2), and
    // the memory read back.
    struct GongWritten {
        std::shared_ptr<memory::IAudioControl> memory;
        std::int16_t first;
        std::int16_t gong;
    };
    static GongWritten writeTwoWithGong(TribelInfo& console) {
        auto memory = console.getAudioMemory(false, true);
        const std::int16_t first = memory->addFragment(data(200, '1'), L"Первый");
        const std::int16_t gong = memory->addFragment(data(200, '2'), L"Гонг");
        write(*memory);
        console.resetCache();
        memory = console.getAudioMemory(false, true);
        EXPECT_TRUE(test::waitForDispatcher());
        return {memory, first, gong};
    }
};

TEST_F(TribelMemoryTest, FragmentsAreWrittenAndReadBackWithoutScenarios) {
    auto [emulated, console] = connected();
    auto memory = console->getAudioMemory(false, true);
    EXPECT_EQ(memory->addScenario(1, 1, 0, L"Тревога"), 0);
    EXPECT_FALSE(memory->hasChanges());
    const std::int16_t gong = memory->addFragment(data(700, 'g'), L"Гонг");
    const std::int16_t message = memory->addFragment(data(1300, 'm'), L"Сообщение");
    EXPECT_EQ(memory->addScenario(gong, message, 30, L"Тревога"), 0);
    EXPECT_TRUE(capture_.contains(L"Skip a scenario for Tribel.", L"TRACE"));
    write(*memory);

    const auto again = reread(*console);
    EXPECT_EQ(names(*again), L"1@1=Гонг;2@2=Сообщение;");
    EXPECT_EQ(again->getFragmentFile(message), data(1300, 'm'));
}

TEST_F(TribelMemoryTest, ARemovedFragmentTakesEveryScenarioWithIt) {
    auto [emulated, console] = connected();
    // A flash that holds scenarios, as a loudspeaker's memory writes them.
    auto loudspeakerMemory = v4::memory::AudioMemory::create(console, transport_, nullptr, true);
    const std::int16_t a = loudspeakerMemory->addFragment(data(300, 'a'), L"A");
    const std::int16_t b = loudspeakerMemory->addFragment(data(300, 'b'), L"B");
    const std::int16_t c = loudspeakerMemory->addFragment(data(300, 'c'), L"C");
    loudspeakerMemory->addScenario(a, b, 0, L"AB");
    loudspeakerMemory->addScenario(b, c, 0, L"BC");
    write(*loudspeakerMemory);

    const auto memory = reread(*console);
    EXPECT_EQ(names(*memory), L"1@1=A;2@2=B;3@3=C;scenario AB;scenario BC;");
    memory->removeFragment(a);
    EXPECT_EQ(names(*memory), L"2@1=B;3@2=C;");

    // Even a removal that is refused takes the scenarios first.
    memory->reload();
    EXPECT_EQ(
        test::thrown<exception::UserError>([&] { memory->removeFragment(9); }, &exception::Base::message),
        L"Номер удаляемого сообщения вне диапазона");
    EXPECT_EQ(names(*memory), L"1@1=A;2@2=B;3@3=C;");
    write(*memory);
    EXPECT_EQ(names(*reread(*console)), L"1@1=A;2@2=B;3@3=C;");
}

TEST_F(TribelMemoryTest, TheGongFollowsItsFragment) {
    auto [emulated, console] = connected();
    auto [memory, first, gong] = writeTwoWithGong(*console);
    EXPECT_EQ(console->getConfig(false).gongId, gong);

    // A gong is chosen among the written fragments by id and sent by position.
    TribelInfo::Config config = console->getConfig(false);
    const auto refusal = [&](std::uint16_t id) {
        config.gongId = id;
        return test::thrown<exception::UserResponse>([&] { console->setConfig(config); },
                                                     &exception::Base::message);
    };
    EXPECT_EQ(refusal(7), L"brokenGong");
    memory->addFragment(data(200, '3'), L"Третий");
    EXPECT_EQ(refusal(first), L"changes");
    memory->reload();
    config.gongId = first;
    EXPECT_FALSE(console->setConfig(config));
    EXPECT_EQ(emulated->settings().gongOrder, 1u);
    config.gongId = gong;
    EXPECT_FALSE(console->setConfig(config));
    EXPECT_EQ(emulated->settings().gongOrder, 2u);
    EXPECT_FALSE(capture_.contains(L"Gong IDs doesn't match"));

    // A write that moves the gong's fragment tells the console its new position.
    memory->removeFragment(first);
    write(*memory);
    EXPECT_EQ(emulated->settings().gongOrder, 1u);
    EXPECT_TRUE(emulated->settings().gong);
    EXPECT_EQ(console->getConfig(false).gongId, gong);
    EXPECT_TRUE(capture_.contains(L"Set deferred settings", L"TRACE"));

    // One that removes it switches the gong off.
    memory->removeFragment(gong);
    write(*memory);
    EXPECT_TRUE(capture_.contains(L"Настройки для гонга сброшены. Проверьте аудио память и выбранный гонг.",
                                  L"WARN"));
    EXPECT_FALSE(emulated->settings().gong);
    EXPECT_EQ(console->getConfig(false).gongId, TribelInfo::noGong);
    EXPECT_EQ(console->getConfig(true).gongId, TribelInfo::noGong);
}

// The gong's new position after a write is sent by a job of its own: while the console takes its
// time to answer, the replies of other devices are still handled.
TEST_F(TribelMemoryTest, TheGongPlacedAfterAWriteHoldsUpNoOtherDevicesReply) {
    auto [emulated, console] = connected();
    auto [memory, first, gong] = writeTwoWithGong(*console);
    ASSERT_EQ(console->getConfig(false).gongId, gong);

    // The console answers the gong's position only once another device's reply was handled.
    test::EmulatedDevice other("127.0.0.3", port_);
    other.on("", [](const std::string& command) { return std::optional<std::string>("OK " + command); });
    const auto otherHandled = std::make_shared<std::atomic<bool>>(false);
    const auto answeredAfterIt = std::make_shared<std::atomic<bool>>(false);
    emulated->on("set gongOrder", [this, address = other.address(), otherHandled,
                                   answeredAfterIt](const std::string&) {
        transport_->async(
            address, "get vol", [otherHandled](const std::string&, bool ok) { *otherHandled = ok; }, 2, 1000);
        *answeredAfterIt = test::waitFor([&] { return otherHandled->load(); }, std::chrono::seconds(20));
        return std::optional<std::string>(test::successReply(""));
    });
    memory->removeFragment(first);
    write(*memory);
    ASSERT_TRUE(test::waitFor([&] { return answeredAfterIt->load(); }));
    ASSERT_TRUE(test::waitForDispatcher());
    // Answered in time: the position was taken at the first try.
    EXPECT_FALSE(capture_.contains(L"The gong position was not set"));
    const std::vector<std::string> received = emulated->received();
    EXPECT_EQ(std::count(received.begin(), received.end(), "set gongOrder 1"), 1);
    EXPECT_EQ(console->getConfig(false).gongId, gong);
}

}  // namespace
