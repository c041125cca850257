// The options that follow each other while the operator edits: the console's type, the source
// boxes, the line reserve and the equalizer's sliders.

#include <gtest/gtest.h>

#include "devices/IEqualizer.h"
#include "devices/TribelConfig.h"
#include "devices/VkaEqualizer.h"
#include "devices/VokarConfig.h"
#include "foundation/Exceptions.h"
#include "propertypanel/ConsoleType.h"
#include "propertypanel/EqualizerControls.h"
#include "propertypanel/SourceRules.h"

namespace {

TEST(OptionRules, AConsolesTypePresetsItsOptionsWhateverItReported) {
    // Every reported state: single power, fault sound, analog input, hold switch.
    for (int state = 0; state < 16; ++state) {
        device::TribelConfig config;
        config.singlePower = (state & 1) != 0;
        config.faultAlarm = (state & 2) != 0;
        config.gochsArm = (state & 4) != 0;
        config.holdBroadcast = (state & 8) != 0;
        for (const std::uint32_t version : {1u, 2u}) {
            const frm::console::TypeOptions fire = frm::console::typeChanged(true, config, version);
            EXPECT_FALSE(fire.singlePower) << state;
            EXPECT_TRUE(fire.faultSound && fire.holdToTalk) << state;
            EXPECT_EQ(fire.analogInput, config.gochsArm) << state;
            EXPECT_TRUE(fire.powerInput2Enabled) << state;
            EXPECT_FALSE(fire.singlePowerEnabled || fire.faultSoundEnabled || fire.holdToTalkEnabled)
                << state;
            EXPECT_TRUE(fire.analogInputEnabled) << state;

            const frm::console::TypeOptions announce = frm::console::typeChanged(false, config, version);
            EXPECT_EQ(announce.singlePower, config.singlePower) << state;
            EXPECT_EQ(announce.faultSound, config.faultAlarm) << state;
            EXPECT_FALSE(announce.analogInput) << state;
            EXPECT_EQ(announce.holdToTalk, !config.holdBroadcast) << state;
            // The second power input follows the single-power box as the type left it.
            EXPECT_EQ(announce.powerInput2Enabled, !config.singlePower) << state;
            EXPECT_EQ(announce.holdToTalkEnabled, version >= 2) << state;
            EXPECT_TRUE(announce.singlePowerEnabled && announce.faultSoundEnabled) << state;
        }
    }
}

TEST(OptionRules, SourceBoxesAndInputModes) {
    frm::DeviceTraits traits;
    traits.loudspeaker = true;
    traits.passInput1 = true;
    traits.passInput2 = true;
    traits.inputModes = true;
    struct Case {
        bool allow, pass1, pass2;
        bool allowEnabled, pass1Enabled, pass2Enabled;
    };
    const Case cases[] = {
        {false, false, false, true, true, true},
        {false, true, false, false, true, true},
        {true, false, false, true, false, false},
        // Both reported: all three, so that the operator can resolve it.
        {true, false, true, true, true, true},
    };
    for (const Case& c : cases) {
        const frm::source::Boxes boxes = frm::source::boxes(c.allow, c.pass1, c.pass2, traits);
        EXPECT_EQ(boxes.allowOtherEnabled, c.allowEnabled);
        EXPECT_EQ(boxes.passInput1Enabled, c.pass1Enabled);
        EXPECT_EQ(boxes.passInput2Enabled, c.pass2Enabled);
    }
    traits.passInput2 = false;
    EXPECT_FALSE(frm::source::boxes(false, false, false, traits).passInput2Enabled);

    using frm::source::inputMode;
    EXPECT_TRUE(inputMode(false, false, 4, traits).enabled);
    EXPECT_FALSE(inputMode(false, false, 4, traits).microphone);
    EXPECT_TRUE(inputMode(false, false, device::ain::none, traits).microphone);
    EXPECT_TRUE(inputMode(false, true, 4, traits).microphone);
    EXPECT_FALSE(inputMode(false, true, 4, traits).enabled);
    EXPECT_FALSE(inputMode(true, false, 4, traits).enabled);

    EXPECT_FALSE(frm::source::lineReserve(true, true, traits));
    traits.lineRedundancy = true;
    EXPECT_TRUE(frm::source::lineReserve(true, true, traits)->checked);
    EXPECT_FALSE(frm::source::lineReserve(true, false, traits)->checked);
    EXPECT_FALSE(frm::source::lineReserve(false, true, traits)->checked);
    EXPECT_FALSE(frm::source::lineReserve(false, true, traits)->enabled);
}

TEST(OptionRules, EqualizerTipsAndCommands) {
    using namespace frm::eq;
    EXPECT_EQ(trebleTip(-8, -8, 7), L"Громкость высоких частот -100%");
    EXPECT_EQ(trebleTip(7, -8, 7), L"Громкость высоких частот 100%");
    EXPECT_EQ(bassTip(15, 15), L"Громкость басса 100%");
    EXPECT_EQ(bassTip(7, 15), L"Громкость басса 46%");
    EXPECT_EQ(bandTip(-4), L"-4 дБ");

    const device::vka::Equalizer tone(15, 5, 2, -3);
    const auto bass = withBass(tone, 9);
    EXPECT_EQ(dynamic_cast<const device::vka::Equalizer&>(*bass).getBands()[1], 9);
    EXPECT_EQ(dynamic_cast<const device::vka::Equalizer&>(*bass).getBands()[3], -3);
    EXPECT_EQ(dynamic_cast<const device::vka::Equalizer&>(*withTreble(tone, 6)).getBands()[1], 5);

    const std::vector<int> bands = {-10, -8, -6, 0, -1, -2};
    EXPECT_EQ(bandEqualizer(bands, true, 11)->toCommand(),
              bandEqualizer({-6, -6, -6, 0, -1, -2}, true, 11)->toCommand());
    EXPECT_NE(bandEqualizer(bands, true, 12)->toCommand(),
              bandEqualizer({-6, -6, -6, 0, -1, -2}, true, 12)->toCommand());
    EXPECT_FALSE(bandEqualizer(bands, false, 12)->isEnabled());
    EXPECT_THROW(bandEqualizer({0, 0}, true, 12), exception::InternalError);
    EXPECT_EQ(resetEqualizer(true)->toCommand(), bandEqualizer({0, 0, 0, 0, 0, 0}, true, 16)->toCommand());
    EXPECT_TRUE(resetEqualizer(true)->isEnabled());
    EXPECT_EQ(resetEqualizer(false)->toCommand(), device::vka::Equalizer(15, 0, 2, 0).toCommand());
}

}  // namespace
