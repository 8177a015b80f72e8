#include <numeric>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/song_settings.h"

namespace tarnwick {
namespace {

int seedSum(const SongSettings& s) {
    return std::accumulate(s.seed.begin(), s.seed.end(), 0);
}

// The draws are replayed on a second generator: their order is part of what
// a given generator state produces.
TEST(DrawSeed, MagnitudeThenSignSevenTimesThenTheClosingValue) {
    for (std::uint32_t seedValue = 0; seedValue < 100; ++seedValue) {
        SongSettings s;
        s.seedCount = 3;
        s.reserved[3] = 77;
        SongSettings expected = s;
        RandomGenerator random(seedValue);
        RandomGenerator replay(seedValue);
        drawSeed(s, random);
        for (std::size_t i = 0; i < 7; ++i) {
            const int magnitude = randBelow(replay, 7);
            expected.seed[i] = magnitude * (2 * randBelow(replay, 2) - 1);
        }
        expected.seed[7] = -std::accumulate(expected.seed.begin(), expected.seed.begin() + 7, 0);
        expected.seedCount = 8;
        ASSERT_EQ(s, expected); // nothing but the seed changes
        ASSERT_EQ(random.state(), replay.state());
    }
}

TEST(RandomiseAll, DrawsInOrderAndResetsTheRest) {
    for (std::uint32_t seedValue = 0; seedValue < 100; ++seedValue) {
        SongSettings s;
        s.lowOctave = {3, 4, 5};
        s.hold = s.modulation = s.portamento = {1, 1, 1};
        s.transpose = 4;
        s.repeatLength = 9;
        s.harmonyOffset = -3;
        s.drumVolume = 33;
        s.reserved.fill(5);
        RandomGenerator random(seedValue);
        randomiseAll(s, random);

        RandomGenerator replay(seedValue);
        for (std::size_t i = 0; i < 7; ++i) {
            const int sign = randBelow(replay, 2);
            ASSERT_EQ(s.seed[i], (2 * sign - 1) * randBelow(replay, 7));
        }
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(s.instrument[k], randBelow(replay, 128));
        }
        EXPECT_EQ(s.scaleIndex, randBelow(replay, 19));
        EXPECT_EQ(s.beatLength, randBelow(replay, 7) + 1);
        EXPECT_EQ(s.stepMs, randBelow(replay, 100) + 125);
        for (std::size_t slot = 0; slot < 8; ++slot) {
            EXPECT_EQ(s.drumKit[slot], randBelow(replay, 62));
        }
        EXPECT_EQ(random.state(), replay.state());

        EXPECT_EQ(seedSum(s), 0);
        EXPECT_EQ(s.seedCount, 8);
        EXPECT_EQ(s.voiceOffset, (VoiceValues{12, 0, -12}));
        EXPECT_EQ(s.lowOctave, (VoiceValues{1, 1, 1}));
        EXPECT_EQ(s.highOctave, (VoiceValues{10, 10, 10}));
        EXPECT_EQ(s.volume, (VoiceValues{90, 90, 90}));
        EXPECT_EQ(s.hold, (VoiceValues{}));
        EXPECT_EQ(s.modulation, (VoiceValues{}));
        EXPECT_EQ(s.portamento, (VoiceValues{}));
        EXPECT_EQ(s.transpose + s.repeatLength + s.harmonyOffset, 0);
        EXPECT_EQ(s.drumVolume, 33);
        EXPECT_EQ(s.reserved[28], 5);
    }
}

TEST(StartValues, MatchTheDialogAtStart) {
    SongSettings s;
    RandomGenerator random(2024);
    applyStartValues(s, random);

    SongSettings expected;
    RandomGenerator replay(2024);
    drawSeed(expected, replay);
    expected.lowOctave = {1, 1, 1};
    expected.highOctave = {10, 10, 10};
    expected.voiceOffset = {24, 12, 0};
    expected.volume = {90, 90, 90};
    expected.hold = {0, 1, 0};
    EXPECT_EQ(s, expected);
    EXPECT_EQ(s.beatLength * 1000000 + s.stepMs * 1000 + s.drumVolume, 8175060);
}

} // namespace
} // namespace tarnwick
