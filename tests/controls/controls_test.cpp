#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/song_settings.h"
#include "controls/control_ids.h"
#include "controls/controls_exchange.h"
#include "controls/memory_panel.h"
#include "controls/seed_text.h"
#include "controls/window_title.h"

namespace tarnwick {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

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

// Box, text, field, value read. Too large for the field: its upper bound, or
// the largest signed value; beyond 32 bits or the signed range: 0.
TEST_F(ControlsExchange, NumericBoxesAreClamped) {
    using S = SongSettings;
    const std::tuple<int, const char*, std::int32_t SongSettings::*, std::int32_t> cases[] = {
        {control::kStepMs, "49", &S::stepMs, 50},
        {control::kBeat, "0", &S::beatLength, 1},
        {control::kDrumVolume, "95", &S::drumVolume, 90},
        {control::kTranspose, "-20", &S::transpose, -11},
        {control::kTranspose, "15", &S::transpose, 11},
        {control::kHarmonyOffset, "\t -40x", &S::harmonyOffset, -40},
        {control::kHarmonyOffset, "- 40", &S::harmonyOffset, 0},
        {control::kHarmonyOffset, "-2147483648", &S::harmonyOffset, kMin},
        {control::kHarmonyOffset, "-2147483649", &S::harmonyOffset, 0},
        {control::kHarmonyOffset, "2147483648", &S::harmonyOffset, 0},
        {control::kDrumVolume, "4294967295", &S::drumVolume, 90},
        {control::kRepeat, "4294967295", &S::repeatLength, kMax},
        {control::kBeat, "4294967296", &S::beatLength, 1}};
    for (const auto& [id, text, field, expected] : cases) {
        EXPECT_EQ(readWith(id, text).*field, expected) << id << " \"" << text << '"';
        panel.writeSigned(id, start.*field);
    }
    EXPECT_EQ(readWith(control::kVolume + 2, "120").volume[2], 90);
}

// Low octave at most 10, high 1..11; low not below high resets both to 1, 10.
TEST_F(ControlsExchange, OctaveRangesFollowThePairRule) {
    const std::tuple<const char*, const char*, std::int32_t, std::int32_t> cases[] = {
        // clang-format off
        {"12", "3", 1, 10}, {"10", "10", 1, 10}, {"0", "0", 0, 1}, {"5", "30", 5, 11},
        {"9", "11", 9, 11}, {"4294967295", "4294967295", 10, 11}, {"2", "2147483648", 2, 11}};
    // clang-format on
    for (const auto& [low, high, expectedLow, expectedHigh] : cases) {
        panel.writeText(control::kLowOctave + 1, low);
        const SongSettings read = readWith(control::kHighOctave + 1, high);
        EXPECT_EQ(read.lowOctave[1], expectedLow) << low << ' ' << high;
        EXPECT_EQ(read.highOctave[1], expectedHigh) << low << ' ' << high;
    }
}

// A file's values are shown unclamped; past a list's end the field keeps its value.
TEST_F(ControlsExchange, ValuesFromAFileAreShownUnclampedAndClampedOnRead) {
    SongSettings loaded = start;
    loaded.volume[0] = -1;
    loaded.lowOctave[2] = 12;
    loaded.highOctave[2] = 3;
    loaded.hold[0] = 5;
    loaded.instrument = {127, 128, -4};
    loaded.drumKit = {61, 62, 0, 0, 0, 0, 0, 0};
    loaded.scaleIndex = 19;
    loaded.seedCount = 3;
    loaded.reserved.fill(4);
    writeControls(loaded, panel);
    EXPECT_EQ(panel.readText(control::kVolume), "4294967295");
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
    // Only the first 63 characters of the seed box are read.
    EXPECT_EQ(readWith(control::kSeed, std::string(60, ' ') + "12345").seed[0], 123);
}

// Text, count, values read; the entries after them keep their 77.
TEST(SeedText, ParsesLikeIntegerConversions) {
    const std::tuple<const char*, int, std::vector<std::int32_t>> cases[] = {
        // clang-format off
        {" \t\n", -1, {}}, {"x1", 0, {}}, {"-", 0, {}}, {"1,2", 1, {1}},
        {"1 2 3 4 5 6 7 8 9", 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"  +7\t-0X1f\r\n-0x10 010", 4, {7, -31, -16, 8}},
        {"08", 2, {0, 8}},          // octal 0, then 8
        {"1-2+3", 3, {1, -2, 3}},   // numbers may touch
        {"0x-1 9", 3, {0, -1, 9}},  // 0, the x used up
        {"3 - 4", 1, {3}},          // a lone sign ends it
        {"2147483648 99999999999999999999999 0xFFFFFFFF", 3, {kMax, kMax, kMax}},
        {"-2147483648 -2147483649 -077777777777777777777", 3, {kMin, kMin, kMin}}};
    // clang-format on
    for (const auto& [text, count, values] : cases) {
        SeedValues seed;
        seed.fill(77);
        SeedValues expected = seed;
        std::copy(values.begin(), values.end(), expected.begin());
        EXPECT_EQ(parseSeedText(text, seed), count) << '"' << text << '"';
        EXPECT_EQ(seed, expected) << '"' << text << '"';
    }
}

// The counted values; all eight for a count outside 0..8.
TEST(SeedText, FormatShowsTheCountedValues) {
    SeedValues seed = {1, -2, 3, 4, 5, 6, 7, -8};
    EXPECT_EQ(formatSeed(seed, 3), "1 -2 3");
    EXPECT_EQ(formatSeed(seed, 0), "");
    EXPECT_EQ(formatSeed(seed, 9), "1 -2 3 4 5 6 7 -8");
    EXPECT_EQ(formatSeed(seed, -1), "1 -2 3 4 5 6 7 -8");
    const SeedValues lowest = {kMin, kMin, kMin, kMin, kMin, kMin, kMin, kMin};
    EXPECT_EQ(formatSeed(lowest, 8).size(), 95u);
    EXPECT_EQ(parseSeedText(formatSeed(lowest, 8), seed), 8);
    EXPECT_EQ(seed, lowest);
}

// The file name without its last extension; none without a folder or a name.
TEST(WindowTitle, IsTheFileNameWithoutItsLastExtension) {
    const std::pair<std::filesystem::path, std::string> cases[] = {
        // clang-format off
        {"/music/my.song.tarn", "my.song"}, {"/music.old/song", "song"}, {"/song.tarn", "song"},
        {"song.tarn", ""}, {"/music/.tarn", ""}, {u8"/x/Fuga für drei – 曲 ♫.mid", "Fuga für drei – 曲 ♫"}};
    // clang-format on
    for (const auto& [path, title] : cases) {
        EXPECT_EQ(titleFromPath(path), title) << path;
    }
}

} // namespace
} // namespace tarnwick
