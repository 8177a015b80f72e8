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

// The start values with the given seed and no randomness involved.
SongSettings startSettings(std::initializer_list<int> seed) {
    SongSettings s;
    s.seedCount = static_cast<int>(seed.size());
    std::copy(seed.begin(), seed.end(), s.seed.begin());
    s.lowOctave = {1, 1, 1};
    s.highOctave = {10, 10, 10};
    s.volume = {90, 90, 90};
    s.voiceOffset = {24, 12, 0};
    s.hold = {0, 1, 0};
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

TEST(CanonGenerator, SingleSeedValueReachesEveryLevelAtStepZero) {
    // Voice 1 gets the value three times (fast, mid, slow), voice 2 twice plus
    // the slow level, voice 3 once plus the slow level.
    const Score score = generate(startSettings({1}));
    EXPECT_EQ(score.voice1Notes[0], 75);
    EXPECT_EQ(score.voice2Notes[0], 63);
    EXPECT_EQ(score.harmonyNotes[0], 63);
    EXPECT_EQ(score.voice3Notes[0], 50);
}

TEST(CanonGenerator, SeedCountBelowOneUsesTheFirstValueAlone) {
    SongSettings one = startSettings({3, 5, -7});
    one.seedCount = 1;
    one.repeatLength = 5;
    one.harmonyOffset = 4;
    const Score expected = generate(one);
    for (int count : {0, -1, -1000}) {
        SongSettings s = one;
        s.seedCount = count;
        EXPECT_EQ(generate(s), expected) << "seedCount " << count;
    }
}

TEST(CanonGenerator, SeedCountAboveEightUsesAllEight) {
    SongSettings eight = startSettings({1, -2, 3, -4, 5, -6, 7, -4});
    SongSettings many = eight;
    many.seedCount = 1000;
    EXPECT_EQ(generate(many), generate(eight));
}

TEST(CanonGenerator, ZeroSeedStaysOnTheStartPitches) {
    for (int scale = 0; scale < 19; ++scale) {
        SongSettings s = startSettings({0, 0, 0, 0, 0, 0, 0, 0});
        s.scaleIndex = scale;
        const Score score = generate(s);
        EXPECT_TRUE(std::all_of(score.voice1Notes.begin(), score.voice1Notes.end(),
                                [](int n) { return n == 72; }));
        EXPECT_TRUE(std::all_of(score.voice2Notes.begin(), score.voice2Notes.end(),
                                [](int n) { return n == 60; }));
        EXPECT_TRUE(std::all_of(score.voice3Notes.begin(), score.voice3Notes.end(),
                                [](int n) { return n == 48; }));
    }
}

// With a zero seed the pitch never moves, so the first entry shows one fold
// of the start pitch 48 + offset, and the second entry a second fold.
TEST(CanonGenerator, FoldReflectsByOctavesOncePerTurn) {
    struct Case {
        int offset;
        int first;
        int second;
    };
    // Octaves 5..7: bounds 60 and 84, fold amount 12.
    for (const Case c : {Case{37, 73, 73}, Case{11, 71, 71}, Case{36, 84, 84}, Case{12, 60, 60},
                         Case{52, 88, 76}, Case{-10, 50, 62}}) {
        SongSettings s = startSettings({0});
        s.scaleIndex = kChromatic;
        s.lowOctave[0] = 5;
        s.highOctave[0] = 7;
        s.voiceOffset[0] = c.offset;
        const Score score = generate(s);
        EXPECT_EQ(score.voice1Notes[0], c.first) << "start pitch " << 48 + c.offset;
        EXPECT_EQ(score.voice1Notes[1], c.second) << "start pitch " << 48 + c.offset;
    }
}

TEST(CanonGenerator, OneOctaveRangeNeverFolds) {
    SongSettings s = startSettings({0});
    s.scaleIndex = kChromatic;
    for (std::size_t k = 0; k < 3; ++k) {
        s.lowOctave[k] = 5;
        s.highOctave[k] = 6;
        s.voiceOffset[k] = 70; // pitch 118, far above the upper bound 72
    }
    const Score score = generate(s);
    EXPECT_EQ(score.voice1Notes[1023], 118);
    EXPECT_EQ(score.voice2Notes[511], 118);
    EXPECT_EQ(score.voice3Notes[255], 118);
}

TEST(CanonGenerator, RepeatWindowsCopyTheOpeningAndEndExactlyOnTime) {
    // Seed 1 climbs every turn, so every computed entry differs from the
    // opening; the range is wide enough that nothing folds early on.
    SongSettings s = startSettings({1});
    s.scaleIndex = kChromatic;
    s.voiceOffset = {0, -24, -24};
    s.harmonyOffset = 1;
    s.repeatLength = 3; // windows at steps 3..5, 9..11, 15..17, ...
    const Score score = generate(s);

    // Steps 0 and 2 are before the first window: computed.
    EXPECT_EQ(score.voice2Notes[0], 26);
    EXPECT_EQ(score.harmonyNotes[0], 27);
    EXPECT_NE(score.voice2Notes[1], score.voice2Notes[0]);
    // Step 4 lies in the window 3..5 and replays entry (4 - 3) / 2 = 0.
    EXPECT_EQ(score.voice2Notes[2], score.voice2Notes[0]);
    EXPECT_EQ(score.harmonyNotes[2], score.harmonyNotes[0]);
    // Step 6 = windowStart + span: the first step after the window, computed.
    EXPECT_NE(score.voice2Notes[3], score.voice2Notes[0]);
    EXPECT_NE(score.voice2Notes[3], score.voice2Notes[1]);
    // Step 8 is before the next window (9..11), step 10 inside it.
    EXPECT_NE(score.voice2Notes[4], score.voice2Notes[0]);
    EXPECT_EQ(score.voice2Notes[5], score.voice2Notes[0]);
    // Voice 3 moves on steps divisible by 4: step 4 copies entry 0, step 16
    // (window 15..17) copies entry (16 - 15) / 4 = 0, step 12 is computed.
    EXPECT_EQ(score.voice3Notes[1], score.voice3Notes[0]);
    EXPECT_NE(score.voice3Notes[3], score.voice3Notes[0]);
    EXPECT_EQ(score.voice3Notes[4], score.voice3Notes[0]);
    // Voice 1 is never copied; its slow level joins in from step 3 on.
    EXPECT_EQ(head(score.voice1Notes, 5), (std::vector<int>{50, 52, 54, 57, 60}));
}

TEST(CanonGenerator, RepeatWindowReachingTheEndIsCutOff) {
    // Span 85 * 3 * 3 = 765: the only window is steps 765..1023, cut off at
    // the end of the piece, and replays entries from 0.
    SongSettings s = startSettings({1, 2, -3});
    s.scaleIndex = kChromatic;
    s.repeatLength = 85;
    const Score score = generate(s);
    EXPECT_NE(score.voice2Notes[764 / 2], score.voice2Notes[0]);
    for (int i = 766; i < 1024; i += 2) {
        EXPECT_EQ(score.voice2Notes[static_cast<std::size_t>(i / 2)],
                  score.voice2Notes[static_cast<std::size_t>((i - 765) / 2)])
            << "step " << i;
    }
}

TEST(CanonGenerator, NoWindowsWithoutRepeatOrBeyondThePiece) {
    SongSettings base = startSettings({2, -1});
    base.harmonyOffset = 5;
    base.scaleIndex = kChromatic;

    // A span of 1024 or more: no window and no slow level, whatever its size.
    SongSettings span1024 = base;
    span1024.repeatLength = 256;
    const Score reference = generate(span1024);
    for (int repeat : {257, 100000, 2147483647}) {
        SongSettings s = base;
        s.repeatLength = repeat;
        EXPECT_EQ(generate(s), reference) << "repeatLength " << repeat;
    }
    // Without a slow level voice 2 follows its own two levels alone:
    // +2, then -1 + 2 every second turn.
    EXPECT_EQ(reference.voice2Notes[0], 62);
    EXPECT_EQ(reference.voice2Notes[1], 63);
    EXPECT_EQ(reference.voice2Notes[2], 65);

    // A span of 0 or less: no window, the slow level from the first wrap.
    SongSettings none = base;
    SongSettings negative = base;
    negative.repeatLength = -7;
    EXPECT_EQ(generate(negative), generate(none));
    const Score noRepeat = generate(none);
    EXPECT_NE(noRepeat, reference);
}

TEST(CanonGenerator, HarmonyOffsetZeroMirrorsVoiceTwoInAndOutOfWindows) {
    SongSettings s = startSettings({3, -1, 4, -1, -5});
    s.repeatLength = 2;
    const Score score = generate(s);
    EXPECT_EQ(score.harmonyNotes, score.voice2Notes);
}

TEST(CanonGenerator, ExtremeValuesWrapWithoutFaults) {
    SongSettings s = startSettings({2147483647, -2147483647 - 1, 2147483647});
    s.voiceOffset = {2147483647, -2147483647 - 1, 2000000000};
    s.harmonyOffset = 2147483647;
    s.lowOctave = {-2147483647 - 1, 0, 10};
    s.highOctave = {2147483647, 1, 11};
    s.transpose = 2147483647;
    s.scaleIndex = -5;
    s.repeatLength = 2147483647;
    const Score first = generate(s);
    EXPECT_EQ(generate(s), first); // deterministic, and no sanitizer report
}

TEST(CanonGenerator, RegenerationOverwritesEveryEntry) {
    Score score;
    score.voice1Notes.fill(99);
    score.voice2Notes.fill(99);
    score.harmonyNotes.fill(99);
    score.voice3Notes.fill(99);
    score.drumNotes.fill(42);
    generateScore(startSettings({0}), score);
    EXPECT_EQ(std::count(score.voice1Notes.begin(), score.voice1Notes.end(), 99), 0);
    EXPECT_EQ(std::count(score.harmonyNotes.begin(), score.harmonyNotes.end(), 99), 0);
    EXPECT_EQ(score.drumNotes[0], 42); // the drum notes belong to playback
}

} // namespace
} // namespace tarnwick
