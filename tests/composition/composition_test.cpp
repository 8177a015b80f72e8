#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/scale.h"
#include "composition/score.h"
#include "composition/song_settings.h"

namespace tarnwick {
namespace {

constexpr int kChromatic = 3;

// The start values with this seed, over the chromatic scale.
SongSettings withSeed(std::initializer_list<int> seed) {
    SongSettings s{.seedCount = static_cast<int>(seed.size()), .scaleIndex = kChromatic};
    std::copy(seed.begin(), seed.end(), s.seed.begin());
    s.lowOctave = {1, 1, 1};
    s.highOctave = {10, 10, 10};
    s.voiceOffset = {24, 12, 0};
    return s;
}

Score generate(const SongSettings& settings) {
    Score score;
    generateScore(settings, score);
    return score;
}

template <typename Table>
std::vector<int> head(const Table& table, std::size_t count) {
    return {table.begin(), table.begin() + static_cast<std::ptrdiff_t>(count)};
}

// Seed counts clamp to 1..8; a repeat span of 0 or less, or of 1024 steps or
// more however large (it takes 64 bits), makes no window.
TEST(CanonGenerator, SeedCountsAndRepeatSpansBeyondTheirRange) {
    SongSettings s = withSeed({3, 5, -7, 1, -2, 6, 2, -8});
    const auto sameScore = [&](std::int32_t SongSettings::*field, std::int32_t a, std::int32_t b) {
        SongSettings other = s;
        s.*field = a;
        other.*field = b;
        return generate(s) == generate(other);
    };
    EXPECT_TRUE(sameScore(&SongSettings::seedCount, 1, 0));
    EXPECT_TRUE(sameScore(&SongSettings::seedCount, 1, -1));
    EXPECT_TRUE(sameScore(&SongSettings::seedCount, 8, 1000));
    EXPECT_TRUE(sameScore(&SongSettings::repeatLength, 16, 2147483647)); // span 16 * 8 * 8
    EXPECT_TRUE(sameScore(&SongSettings::repeatLength, 0, -7));
    EXPECT_FALSE(sameScore(&SongSettings::repeatLength, 0, 16));
}

// A zero seed keeps the pitch: entries 0 and 1 show one fold each of the start.
TEST(CanonGenerator, FoldReflectsByOctavesOncePerTurn) {
    // High octave, start offset, entries 0 and 1; 5..7: bounds 60 and 84.
    const std::array<int, 4> cases[] = {{7, 37, 73, 73}, {7, 36, 84, 84},  {7, 12, 60, 60},
                                        {7, 52, 88, 76}, {7, -10, 50, 62}, {6, 70, 118, 118}};
    for (const auto& [high, offset, first, second] : cases) {
        SongSettings s = withSeed({0});
        s.lowOctave[0] = 5;
        s.highOctave[0] = high;
        s.voiceOffset[0] = offset;
        EXPECT_EQ(head(generate(s).voice1Notes, 2), (std::vector<int>{first, second}))
            << "octaves 5.." << high << ", start pitch " << 48 + offset;
    }
}

// Seed 2 -1, minor, repeat 1 (a span of 4 steps), harmony 3: the copies replay
// their opening in steps 4..7 and 12..15; voice 1's slow level joins at step 3.
TEST(CanonGenerator, WorkedExampleEntryForEntry) {
    SongSettings s = withSeed({2, -1});
    s.scaleIndex = 0;
    s.repeatLength = 1;
    s.harmonyOffset = 3;
    const Score score = generate(s);
    EXPECT_EQ(head(score.voice1Notes, 17),
              (std::vector<int>{74, 75, 77, 75, 77, 0, 80, 80, 82, 0, 0, 82, 84, 0, 87, 87, 89}));
    EXPECT_EQ(head(score.voice2Notes, 9), (std::vector<int>{62, 63, 62, 63, 67, 68, 62, 63, 0}));
    EXPECT_EQ(head(score.harmonyNotes, 9), (std::vector<int>{65, 0, 65, 0, 70, 0, 65, 0, 74}));
    EXPECT_EQ(head(score.voice3Notes, 5), (std::vector<int>{50, 50, 53, 50, 55}));
}

// Voice 1's slow level joins at the first span's end: seed 1, span 3, +1 from step 3.
TEST(CanonGenerator, VoiceOnesSlowLevelJoinsInAtTheRepeatSpan) {
    SongSettings s = withSeed({1});
    s.voiceOffset[0] = 0;
    s.repeatLength = 3;
    EXPECT_EQ(head(generate(s).voice1Notes, 5), (std::vector<int>{50, 52, 54, 57, 60}));
}

TEST(CanonGenerator, ExtremeValuesWrapWithoutUndefinedBehaviour) {
    SongSettings s = withSeed({2147483647, -2147483647 - 1, 2147483647});
    s.voiceOffset = {2147483647, -2147483647 - 1, 2000000000};
    s.harmonyOffset = 2147483647;
    s.lowOctave = {-2147483647 - 1, 0, 10};
    s.highOctave = {2147483647, 1, 11};
    s.transpose = 2147483647;
    s.scaleIndex = -5;
    EXPECT_EQ(generate(s), generate(s)); // the sanitizers watch the arithmetic
}

// Each row's name and the pitch classes from C it lets pass (x) over C4..B4.
TEST(ScaleTable, RowsInListOrderWithTheirPitchClasses) {
    const std::pair<std::string_view, std::string_view> rows[] = {
        // clang-format off
        {"Minor", "x.xx.x.xx.x."}, {"Major", "x.x.xx.x.x.x"}, {"Pentatonic Minor", "x..x.x.x..x."},
        {"Chromatic", "xxxxxxxxxxxx"}, {"Blues", "x..x.xxx..x."}, {"Country", "x..xx..x.x.."},
        {"Diminished W/H", "x.xx.xx.xx.x"}, {"Pentatonic Major", "x.x.x..x.x.."},
        {"Harmonic Minor", "x.xx.x.xx..x"}, {"Melodic Minor", "x.xx.x.x.x.x"},
        {"Whole Tones", "x.x.x.x.x.x."}, {"Diminished H/W", "xx.xx.xx.xx."},
        {"Mixolydian", "x.x.xx.x.xx."}, {"Dorian", "x.xx.x.x.xx."}, {"Lydian", "x.x.x.xx.x.x"},
        {"Phrygian", "xx.x.x.xx.x."}, {"Phrygian Major", "xx..xx.xx.x."},
        {"Locrian", "x.x.x.xx.xx."}, {"Lydian Dominant", "xx.x.xx.x.x."}};
    // clang-format on
    ASSERT_EQ(std::size(rows), scaleTable.size());
    for (std::size_t i = 0; i < scaleTable.size(); ++i) {
        std::string passed;
        for (int pitch = 60; pitch < 72; ++pitch) {
            passed += scaleFilter(pitch, static_cast<int>(i), 0) == pitch ? 'x' : '.';
        }
        EXPECT_EQ(scaleTable[i].name, rows[i].first) << "row " << i;
        EXPECT_EQ(passed, rows[i].second) << "row " << i;
    }
}

// Pitch, scale, transpose, note: the scale before transposing, 12 the lowest,
// one wrap at 128, 32-bit additions, every class outside the table.
TEST(ScaleFilter, Edges) {
    constexpr int kMinor = 0;
    constexpr int kMajor = 1;
    // clang-format off
    const std::array<int, 4> cases[] = {
        {60, kMajor, 2, 62}, {61, kMajor, 2, 0}, {12, kMinor, 0, 12}, {11, kChromatic, 0, 0},
        {-1, 19, 0, 0}, {12, kChromatic, -11, 1}, {127, kMinor, 1, 0}, {128, kMinor, 0, 0},
        {255, kChromatic, 0, 127}, {256, kChromatic, 0, 128},
        {2147483647, kChromatic, 1, -2147483647 - 1}, {73, kMinor, 0, 0}, {73, 19, 0, 73},
        {73, -1, 0, 73}};
    // clang-format on
    for (const auto& [pitch, scale, transpose, note] : cases) {
        EXPECT_EQ(scaleFilter(pitch, scale, transpose), note)
            << "pitch " << pitch << " scale " << scale << " transpose " << transpose;
    }
}

// The state whose next draw returns `value`, by a's inverse mod 2^32 (Newton).
std::uint32_t stateBefore(int value) {
    constexpr std::uint32_t a = 214013u;
    std::uint32_t inverse = a;
    for (int i = 0; i < 5; ++i) {
        inverse *= 2u - a * inverse;
    }
    return ((static_cast<std::uint32_t>(value) << 16) - 2531011u) * inverse;
}

// randBelow's rule, floor(r * n * 32769 / 2^30), on either side of a step.
TEST(Random, RandBelowsIntegerRule) {
    RandomGenerator random;
    const std::array<int, 3> cases[] = {{16383, 2, 0}, {16384, 2, 1},
                                        {4681, 7, 0},  {4682, 7, 1},
                                        {32767, 7, 6}, {32767, 2147483647, 2147483645}};
    for (const auto& [r, n, expected] : cases) {
        random.seed(stateBefore(r));
        EXPECT_EQ(randBelow(random, n), expected) << "r " << r << " n " << n;
    }
}

// One generator, start then Random All: the values pin the draws' order too.
TEST(Random, StartValuesThenRandomAllFromOneGenerator) {
    SongSettings s{.reserved = {0, 0, 0, 77}};
    RandomGenerator random(7);
    applyStartValues(s, random);
    SongSettings expected{.seedCount = 8,
                          .seed = {0, -3, -3, -6, 5, 1, 5, 1}, // magnitude, then sign; 8th closes
                          .lowOctave = {1, 1, 1},
                          .highOctave = {10, 10, 10},
                          .voiceOffset = {24, 12, 0},
                          .volume = {90, 90, 90},
                          .hold = {0, 1, 0},
                          .reserved = {0, 0, 0, 77}};
    EXPECT_EQ(s, expected);

    s.hold = s.modulation = s.portamento = {1, 1, 1};
    s.transpose = s.repeatLength = s.harmonyOffset = s.drumVolume = 33;
    randomiseAll(s, random);
    expected.seed = {-1, -5, -3, -1, 2, 2, -4, 10}; // sign, then magnitude
    expected.scaleIndex = 10;
    expected.instrument = {55, 43, 91};
    expected.voiceOffset = {12, 0, -12};
    expected.hold = {0, 0, 0};
    expected.beatLength = 1;
    expected.stepMs = 131;
    expected.drumVolume = 33; // left alone, as reserved is
    expected.drumKit = {18, 22, 9, 19, 22, 59, 44, 51};
    EXPECT_EQ(s, expected);
}

} // namespace
} // namespace tarnwick
