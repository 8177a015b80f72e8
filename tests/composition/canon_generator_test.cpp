#include <algorithm>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/score.h"
#include "composition/song_settings.h"

namespace tarnwick {
namespace {

constexpr int kChromatic = 3;

// The start values with the given seed.
SongSettings startSettings(std::initializer_list<int> seed) {
    SongSettings s;
    s.seedCount = static_cast<int>(seed.size());
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

TEST(CanonGenerator, WorkedExampleEntryForEntry) {
    SongSettings s = startSettings({2, -1});
    s.repeatLength = 1; // repeat span 4
    s.harmonyOffset = 3;
    const Score score = generate(s);
    EXPECT_EQ(head(score.voice1Notes, 17),
              (std::vector<int>{74, 75, 77, 75, 77, 0, 80, 80, 82, 0, 0, 82, 84, 0, 87, 87, 89}));
    EXPECT_EQ(head(score.voice2Notes, 9), (std::vector<int>{62, 63, 62, 63, 67, 68, 62, 63, 0}));
    EXPECT_EQ(head(score.harmonyNotes, 9), (std::vector<int>{65, 0, 65, 0, 70, 0, 65, 0, 74}));
    EXPECT_EQ(head(score.voice3Notes, 5), (std::vector<int>{50, 50, 53, 50, 55}));
}

TEST(CanonGenerator, SeedCountOutsideOneToEight) {
    // One value reaches voice 1 three times at step 0 (fast, mid, slow), voice
    // 2 twice plus the slow level, voice 3 once plus the slow level.
    const Score single = generate(startSettings({1}));
    EXPECT_EQ(single.voice1Notes[0], 75);
    EXPECT_EQ(single.voice2Notes[0], 63);
    EXPECT_EQ(single.voice3Notes[0], 50);

    // Counts below 1 use seed[0] alone; counts above 8 use all eight.
    SongSettings one = startSettings({3, 5, -7});
    one.seedCount = 1;
    one.repeatLength = 5;
    for (int count : {0, -1}) {
        SongSettings s = one;
        s.seedCount = count;
        EXPECT_EQ(generate(s), generate(one)) << "seedCount " << count;
    }
    SongSettings eight = startSettings({1, -2, 3, -4, 5, -6, 7, -4});
    SongSettings many = eight;
    many.seedCount = 1000;
    EXPECT_EQ(generate(many), generate(eight));
}

TEST(CanonGenerator, ZeroSeedStaysOnTheStartPitches) {
    const Score score = generate(startSettings({0, 0, 0, 0, 0, 0, 0, 0}));
    const auto all = [](const auto& table, int note) {
        return std::all_of(table.begin(), table.end(), [&](int n) { return n == note; });
    };
    EXPECT_TRUE(all(score.voice1Notes, 72));
    EXPECT_TRUE(all(score.voice2Notes, 60));
    EXPECT_TRUE(all(score.voice3Notes, 48));
}

// A zero seed never moves the pitch, so entry 0 shows one fold of the start
// pitch and entry 1 a second fold.
TEST(CanonGenerator, FoldReflectsByOctavesOncePerTurn) {
    struct Case {
        int low, high, offset, first, second;
    };
    // Octaves 5..7: bounds 60 and 84, fold amount 12. Octaves 5..6: never folded.
    for (const Case c : {Case{5, 7, 37, 73, 73}, Case{5, 7, 11, 71, 71}, Case{5, 7, 36, 84, 84},
                         Case{5, 7, 12, 60, 60}, Case{5, 7, 52, 88, 76}, Case{5, 7, -10, 50, 62},
                         Case{5, 6, 70, 118, 118}}) {
        SongSettings s = startSettings({0});
        s.scaleIndex = kChromatic;
        s.lowOctave[0] = c.low;
        s.highOctave[0] = c.high;
        s.voiceOffset[0] = c.offset;
        const Score score = generate(s);
        EXPECT_EQ(head(score.voice1Notes, 2), (std::vector<int>{c.first, c.second}))
            << "octaves " << c.low << ".." << c.high << ", start pitch " << 48 + c.offset;
    }
}

TEST(CanonGenerator, RepeatWindowsReplayTheOpeningAndEndOnTime) {
    // Seed 1 climbs every turn, so every computed entry differs from the
    // opening. Span 3: windows at steps 3..5, 9..11, 15..17, ...
    SongSettings s = startSettings({1});
    s.scaleIndex = kChromatic;
    s.voiceOffset = {0, -24, -24};
    s.harmonyOffset = 1;
    s.repeatLength = 3;
    const Score score = generate(s);
    // Voice 2 entries by step: 0 and 2 computed, 4 copies entry 0, 6 (the
    // step at windowStart + span) and 8 computed, 10 copies entry 0 again.
    EXPECT_EQ(head(score.voice2Notes, 6), (std::vector<int>{26, 28, 26, 36, 40, 26}));
    EXPECT_EQ(head(score.harmonyNotes, 3), (std::vector<int>{27, 29, 27}));
    // Voice 3 by step: 0 computed, 4 a copy, 8 and 12 computed, 16 a copy.
    EXPECT_EQ(head(score.voice3Notes, 5), (std::vector<int>{25, 25, 33, 38, 25}));
    // Voice 1 is never copied; its slow level joins in at step 3.
    EXPECT_EQ(head(score.voice1Notes, 5), (std::vector<int>{50, 52, 54, 57, 60}));

    // Span 85 * 3^2 = 765: the one window, 765..1023, is cut off by the end.
    SongSettings late = startSettings({1, 2, -3});
    late.scaleIndex = kChromatic;
    late.repeatLength = 85;
    const Score cut = generate(late);
    for (int i = 766; i < 1024; i += 2) {
        ASSERT_EQ(cut.voice2Notes[static_cast<std::size_t>(i / 2)],
                  cut.voice2Notes[static_cast<std::size_t>((i - 765) / 2)])
            << "step " << i;
    }
}

TEST(CanonGenerator, NoWindowsWithoutRepeatOrBeyondThePiece) {
    SongSettings base = startSettings({2, -1});
    base.scaleIndex = kChromatic;
    // A span of 1024 or more, however large: no window and no slow level, so
    // voice 2 follows its own two levels: +2, then -1 + 2 every second turn.
    SongSettings span1024 = base;
    span1024.repeatLength = 256;
    const Score reference = generate(span1024);
    EXPECT_EQ(head(reference.voice2Notes, 3), (std::vector<int>{62, 63, 65}));
    SongSettings huge = base;
    huge.repeatLength = 2147483647; // the span needs 64 bits
    EXPECT_EQ(generate(huge), reference);
    // A span of 0 or less: no window, the slow level from the first wrap.
    SongSettings negative = base;
    negative.repeatLength = -7;
    EXPECT_EQ(generate(negative), generate(base));
    EXPECT_NE(generate(base), reference);
}

TEST(CanonGenerator, HarmonyOffsetZeroMirrorsVoiceTwo) {
    SongSettings s = startSettings({3, -1, 4, -1, -5});
    s.repeatLength = 2;
    const Score score = generate(s);
    EXPECT_EQ(score.harmonyNotes, score.voice2Notes);
}

TEST(CanonGenerator, ExtremeValuesWrapWithoutUndefinedBehaviour) {
    SongSettings s = startSettings({2147483647, -2147483647 - 1, 2147483647});
    s.voiceOffset = {2147483647, -2147483647 - 1, 2000000000};
    s.harmonyOffset = 2147483647;
    s.lowOctave = {-2147483647 - 1, 0, 10};
    s.highOctave = {2147483647, 1, 11};
    s.transpose = 2147483647;
    s.scaleIndex = -5;
    EXPECT_EQ(generate(s), generate(s)); // the sanitizers watch the arithmetic
}

} // namespace
} // namespace tarnwick
