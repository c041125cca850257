#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/VkaEqualizer.h"
#include "devices/VkbEqualizer.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "foundation/TextConversion.h"
#include "support/LogCapture.h"
#include "tests/devices/VokarFixture.h"

namespace {

using namespace device;
using Bands4 = std::array<std::int8_t, 4>;
using Bands6 = std::array<std::int8_t, 6>;

TEST(VkaEqualizerTest, WordsAndBands) {
    const vka::Equalizer off(0x0000);
    EXPECT_FALSE(off.isEnabled());
    EXPECT_EQ(off.getBands(), (Bands4{2, 0, 0, 0}));
    EXPECT_EQ(off.toCommand(), "set eq 0000");

    struct Case {
        int band1, band3;
        Bands4 bands;
        const char* command;
    };
    const std::vector<Case> cases = {
        {5, -1, {15, 5, 2, -1}, "set eq F25F"},   {5, 15, {15, 5, 2, -1}, "set eq F25F"},
        {20, 12, {15, 15, 2, -4}, "set eq C2FF"}, {-3, -9, {15, 0, 2, -8}, "set eq 820F"},
        {0, 7, {15, 0, 2, 7}, "set eq 720F"},
    };
    for (const Case& c : cases) {
        const vka::Equalizer equalizer(9, c.band1, 9, c.band3);
        EXPECT_TRUE(equalizer.isEnabled());
        EXPECT_EQ(equalizer.getBands(), c.bands) << c.command;
        EXPECT_EQ(equalizer.toCommand(), c.command);
        // The word the loudspeaker then reports reads back as the same equalizer.
        EXPECT_EQ(vka::Equalizer(equalizer.word()), equalizer) << c.command;
    }
    EXPECT_EQ(vka::Equalizer(0x8001).getBands(), (Bands4{2, 0, 0, -8}));

    vka::Equalizer first(0, 5, 0, -1);
    const vka::Equalizer second(0, 6, 0, -1);
    EXPECT_TRUE(first != second && first < second && !(second < first));
    EXPECT_FALSE(first.setEnabled(false));
    EXPECT_EQ(first.toCommand(), "set eq 0000");
    EXPECT_EQ(*first.clone(), first);

    for (const char* bad : {"", "12345", "12G4", "-1", " 12"})
        EXPECT_FALSE(vka::Equalizer::parseWord(bad)) << bad;
    EXPECT_EQ(vka::Equalizer::parseWord("f25f"), 0xF25F);
}

TEST(VkbEqualizerTest, RepliesCommandsAndComparisons) {
    test::LogCapture capture;
    struct Case {
        const char* reply;
        Bands6 bands;
    };
    const std::vector<Case> cases = {
        {"-1:-2:-3:-4:-5:-6", {-1, -2, -3, -4, -5, -6}},
        {"-3:-5", {-3, -5, -3, -5, -3, -5}},
        {"-7", {-7, -7, -7, -7, -7, -7}},
        {"4:-12:0:0:0:0", {0, -10, 0, 0, 0, 0}},
        {"-1:-2:-3:-4:-5:-6:0:0:0:0", {-1, -2, -3, -4, -5, -6}},
        {" -1 : -2 :-3:-4:-5:-6", {-1, -2, -3, -4, -5, -6}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vkb::Equalizer::fromReply(c.reply, true, false).getBands(), c.bands) << c.reply;
    }
    EXPECT_TRUE(capture.contains(L"Значение '4' эквалайзера больше максимального", L"EXTERN"));
    EXPECT_TRUE(capture.contains(L"Значение '-12' эквалайзера меньше минимального", L"EXTERN"));

    std::string tooMany = "-1";
    for (int n = 1; n < 17; ++n) tooMany += ":-1";
    const std::wstring tooFewBands = L"Неправильное количество полос эквалайзера";
    struct Refusal {
        std::string reply;
        std::wstring description;
    };
    const std::vector<Refusal> refusals = {
        {"", tooFewBands},
        {"-3:", tooFewBands},
        {":-3", L":-3"},
        {"-3:x", L"-3:x"},
        {"-3:-5abc", L"-3:-5abc"},
        {"0x3", L"0x3"},
        {tooMany, base::widen(tooMany)},
    };
    for (const Refusal& r : refusals) {
        try {
            vkb::Equalizer::fromReply(r.reply, true, false);
            ADD_FAILURE() << r.reply;
        } catch (const exception::ExternalError& error) {
            EXPECT_EQ(error.message, L"Неправильный формат эквалайзера") << r.reply;
            EXPECT_EQ(error.description, r.description) << r.reply;
        }
    }

    vkb::Equalizer legacy = vkb::Equalizer::fromReply("-8:-1:0:-10:-6:-5", true, true);
    EXPECT_TRUE(legacy.isLegacyFormat());
    EXPECT_EQ(legacy.toCommand(), "set eqd -6:-1:0:-6:-6:-5:0:0:0:0");
    legacy.setBands(6, -1);
    EXPECT_TRUE(capture.contains(L"Некорректный номер 6 полосы эквалайзера", L"ERROR"));
    legacy.setBands(0, -2);
    EXPECT_EQ(legacy.getBands()[0], -2);

    const vkb::Equalizer on = vkb::Equalizer::fromReply("-1", true, false);
    vkb::Equalizer off = vkb::Equalizer::fromReply("-1", false, false);
    const vkb::Equalizer lower = vkb::Equalizer::fromReply("-2", true, false);
    EXPECT_EQ(on.toCommand(), off.toCommand());
    EXPECT_TRUE(on != off && !(on == off));
    // Ordered only when the text comes first and the switch is off against on.
    EXPECT_TRUE(off < lower);
    EXPECT_FALSE(on < lower);
    EXPECT_FALSE(lower < on);
    EXPECT_FALSE(off < on);
    EXPECT_TRUE(off.setEnabled(true));
    EXPECT_EQ(off, on);
    EXPECT_NE(on, vka::Equalizer(0x1234));
}

class VokarEqualizerTest : public test::VokarFixture {};

TEST_F(VokarEqualizerTest, EveryGenerationReadsAndWritesItsForm) {
    // The later generations: bands and switch, read once and then from the cache.
    {
        auto [emulated, device] = connected(vokarV3_A121);
        auto equalizer = device->getEqualizer();
        auto* bands = dynamic_cast<vkb::Equalizer*>(equalizer.get());
        ASSERT_NE(bands, nullptr);
        EXPECT_EQ(bands->getBands(), (Bands6{-2, -4, 0, -1, -3, -5}));
        EXPECT_TRUE(bands->isEnabled());
        EXPECT_FALSE(bands->isLegacyFormat());
        EXPECT_TRUE(device->setEqualizer(equalizer));
        EXPECT_EQ(sent(*emulated), "get eq; get eqd");

        // Only the switch: the unchanged bands, then the switch.
        emulated->clearReceived();
        bands->setEnabled(false);
        EXPECT_TRUE(device->setEqualizer(equalizer));
        EXPECT_EQ(sent(*emulated), "set eqd -2:-4:0:-1:-3:-5; set eq off");
        EXPECT_FALSE(emulated->equalizerOn());
        emulated->clearReceived();
        bands->setBands(5, -9);
        EXPECT_TRUE(device->setEqualizer(equalizer));
        EXPECT_EQ(sent(*emulated), "set eqd -2:-4:0:-1:-3:-9");
        EXPECT_EQ(*device->getEqualizer(), *equalizer);
        EXPECT_EQ(emulated->receivedCount(), 1u);

        // An unanswered exchange may have changed it: the next read asks the loudspeaker.
        emulated->setSilent(true);
        EXPECT_THROW(device->transfer("set eq off"), exception::Offline);
        emulated->setSilent(false);
        device->touchLastState();
        device->responding = true;
        emulated->clearReceived();
        device->getEqualizer();
        EXPECT_EQ(sent(*emulated), "get eq; get eqd");

        // A write the loudspeaker refuses leaves nothing cached; a reset neither.
        emulated->answer("set eqd", "ERR[set eqd]: busy");
        bands->setBands(0, -10);
        bands->setEnabled(true);
        EXPECT_FALSE(device->setEqualizer(equalizer));
        emulated->clearReceived();
        device->getEqualizer();
        EXPECT_EQ(sent(*emulated), "get eq; get eqd");
        device->resetCache();
        device->touchLastState();
        device->responding = true;
        device->getEqualizer();
        EXPECT_EQ(emulated->receivedCount(), 4u);
    }
    // Before generation 12 the bands stop at -6 and go with padding, once more when written.
    {
        auto [emulated, device] = connected(vokarB_1_00_56, 3);
        auto equalizer = device->getEqualizer();
        auto* bands = dynamic_cast<vkb::Equalizer*>(equalizer.get());
        ASSERT_NE(bands, nullptr);
        EXPECT_TRUE(bands->isLegacyFormat());
        bands->setBands(0, -8);
        emulated->clearReceived();
        EXPECT_TRUE(device->setEqualizer(equalizer));
        EXPECT_EQ(sent(*emulated), "set eqd -6:-4:0:-1:-3:-5:0:0:0:0:0:0:0:0");
        device->resetCache();
        device->touchLastState();
        device->responding = true;
        EXPECT_EQ(dynamic_cast<vkb::Equalizer&>(*device->getEqualizer()).getBands(),
                  (Bands6{-6, -4, 0, -1, -3, -5}));
    }
    // The first generations: one word, asked outside the reply cache.
    {
        auto [emulated, device] = connected(vokarA_2_01_72, 4);
        auto equalizer = device->getEqualizer();
        ASSERT_NE(dynamic_cast<vka::Equalizer*>(equalizer.get()), nullptr);
        EXPECT_EQ(equalizer->toCommand(), "set eq 1234");
        emulated->clearReceived();
        EXPECT_TRUE(device->setEqualizer(std::make_shared<vka::Equalizer>(0, 5, 0, -1)));
        EXPECT_EQ(sent(*emulated), "set eq F25F");
        EXPECT_EQ(emulated->equalizerWord(), 0xF25F);
    }
    EXPECT_TRUE(capture_.contains(L"Skip changing equalizer due to no differences", L"DEBUG"));
    EXPECT_TRUE(capture_.contains(L"Equalizer is disabled (Result is success)", L"TRACE"));
    EXPECT_TRUE(capture_.contains(
        L"Set equalizer (result: true), device 02:7E:41:00:00:01, value set eq F25F", L"TRACE"));
}

TEST_F(VokarEqualizerTest, RepliesThatDoNotReadAreRefused) {
    auto [later, laterDevice] = connected(vokarV3_A121);
    later->answer("get eqd", test::okReply("get eqd", "-3:x"));
    EXPECT_THROW(laterDevice->getEqualizer(), exception::ExternalError);
    EXPECT_THROW(laterDevice->setEqualizer(std::make_shared<vkb::Equalizer>(true, false)),
                 exception::ExternalError);

    auto [first, firstDevice] = connected(vokarA_2_01_72, 3);
    for (const char* reply : {"12G4", "12345", ""}) {
        first->answer("get eq", test::okReply("get eq", reply));
        EXPECT_THROW(firstDevice->getEqualizer(), exception::UnexpectedResponseOfDevice) << reply;
    }
    first->answer("get eq", "ERR[get eq]: busy");
    EXPECT_THROW(firstDevice->getEqualizer(), exception::UnexpectedResponseOfDevice);
    EXPECT_EQ(capture_.find(L"Значение эквалайзера прибора Вокар-A некорректно.", L"WARN").size(), 4u);
    first->setSilent(true);
    EXPECT_THROW(firstDevice->getEqualizer(), exception::UnexpectedResponseOfDevice);
}

}  // namespace
