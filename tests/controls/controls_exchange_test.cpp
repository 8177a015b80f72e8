#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/song_settings.h"
#include "controls/control_ids.h"
#include "controls/controls_exchange.h"
#include "controls/memory_panel.h"

namespace tarnwick {
namespace {

// A panel showing the start values, for tests that then type into a box.
class ControlsExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        RandomGenerator random(5);
        applyStartValues(start, random);
        writeControls(start, panel);
    }

    // Types `text` into the edit and reads every control.
    SongSettings readWith(int id, const std::string& text) {
        panel.writeText(id, text);
        SongSettings settings = start;
        readControls(panel, settings);
        return settings;
    }

    SongSettings start;
    MemoryPanel panel;
};

TEST_F(ControlsExchange, TheStartValuesSurviveTheRoundTripAndReservedIsLeftAlone) {
    SongSettings read;
    read.reserved.fill(4);
    readControls(panel, read);
    SongSettings expected = start;
    expected.reserved.fill(4);
    EXPECT_EQ(read, expected);
}

// Box, text, field, value read. An unsigned read too large for the signed
// field gives the field's upper bound, or the largest signed value where there
// is none; one too large for 32 bits reads as 0.
TEST_F(ControlsExchange, NumericBoxesAreClamped) {
    using S = SongSettings;
    const std::tuple<int, const char*, std::int32_t SongSettings::*, std::int32_t> cases[] = {
        {control::kStepMs, "49", &S::stepMs, 50},
        {control::kBeat, "0", &S::beatLength, 1},
        {control::kDrumVolume, "95", &S::drumVolume, 90},
        {control::kTranspose, "-20", &S::transpose, -11},
        {control::kTranspose, "15", &S::transpose, 11},
        {control::kTranspose, "-11", &S::transpose, -11},
        {control::kHarmonyOffset, "-40", &S::harmonyOffset, -40},
        {control::kDrumVolume, "4294967295", &S::drumVolume, 90},
        {control::kStepMs, "2147483648", &S::stepMs, 2147483647},
        {control::kRepeat, "4294967295", &S::repeatLength, 2147483647},
        {control::kBeat, "3000000000", &S::beatLength, 2147483647},
        {control::kBeat, "4294967296", &S::beatLength, 1}};
    for (const auto& [id, text, field, expected] : cases) {
        EXPECT_EQ(readWith(id, text).*field, expected) << id << " \"" << text << '"';
        panel.writeSigned(id, start.*field);
    }
    EXPECT_EQ(readWith(control::kVolume, "120").volume[0], 90);
    EXPECT_EQ(readWith(control::kVolume + 2, "2147483648").volume[2], 90);
    EXPECT_EQ(readWith(control::kVoiceOffset + 1, "-2147483648").voiceOffset[1], -2147483647 - 1);
}

// Low octave at most 10, high 1..11; low not below high resets both to 1, 10.
TEST_F(ControlsExchange, OctaveRangesFollowThePairRule) {
    const std::tuple<const char*, const char*, std::int32_t, std::int32_t> cases[] = {
        // clang-format off
        {"12", "3", 1, 10}, {"10", "10", 1, 10}, {"0", "0", 0, 1}, {"5", "30", 5, 11},
        {"9", "11", 9, 11}, {"4294967295", "4294967295", 10, 11}, {"3000000000", "", 1, 10},
        {"2", "2147483648", 2, 11}};
    // clang-format on
    for (const auto& [low, high, expectedLow, expectedHigh] : cases) {
        panel.writeText(control::kLowOctave + 1, low);
        const SongSettings read = readWith(control::kHighOctave + 1, high);
        EXPECT_EQ(read.lowOctave[1], expectedLow) << low << ' ' << high;
        EXPECT_EQ(read.highOctave[1], expectedHigh) << low << ' ' << high;
    }
}

// A loaded file's values are shown as they are and clamped when read. The
// lists hold 19 scales, 128 instruments and 62 drums: beyond them nothing is
// selected and the value read is the one the record had.
TEST_F(ControlsExchange, ValuesFromAFileAreShownUnclampedAndClampedOnRead) {
    SongSettings loaded = start;
    loaded.volume[0] = -1;
    loaded.lowOctave[2] = 12;
    loaded.highOctave[2] = 3;
    loaded.hold[0] = 5;
    loaded.instrument = {127, 128, -4};
    loaded.drumKit = {61, 62, 0, 0, 0, 0, 0, 0};
    loaded.scaleIndex = 19;
    writeControls(loaded, panel);
    EXPECT_EQ(panel.readText(control::kVolume), "4294967295");
    EXPECT_EQ(panel.readText(control::kLowOctave + 2), "12");
    EXPECT_EQ((std::array{panel.readSelection(control::kInstrument),
                          panel.readSelection(control::kInstrument + 1),
                          panel.readSelection(control::kDrumSlot),
                          panel.readSelection(control::kDrumSlot + 1),
                          panel.readSelection(control::kScale)}),
              (std::array{127, -1, 61, -1, -1}));

    SongSettings expected = loaded;
    expected.volume[0] = 90;
    expected.lowOctave[2] = 1;
    expected.highOctave[2] = 10;
    expected.hold[0] = 1;
    SongSettings read = loaded;
    readControls(panel, read);
    EXPECT_EQ(read, expected);
    panel.writeSelection(control::kScale, 18);
    EXPECT_EQ(panel.readSelection(control::kScale), 18);
}

TEST_F(ControlsExchange, TheSeedBox) {
    SongSettings read = readWith(control::kSeed, "5 -3 0x10 010");
    EXPECT_EQ(read.seedCount, 4);
    auto expected = start.seed; // entries beyond the count keep their values
    std::copy_n(std::array{5, -3, 16, 8}.begin(), 4, expected.begin());
    EXPECT_EQ(read.seed, expected);

    // Only the first 63 characters are read: a number cut there is read cut.
    read = readWith(control::kSeed, std::string(60, ' ') + "12345");
    EXPECT_EQ(read.seedCount, 1);
    EXPECT_EQ(read.seed[0], 123);

    SongSettings three = start;
    three.seedCount = 3;
    three.seed = {1, -2, 3, 4, 5, 6, 7, 8};
    writeControls(three, panel);
    EXPECT_EQ(panel.readText(control::kSeed), "1 -2 3");
}

} // namespace
} // namespace tarnwick
