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

TEST(DrawSeed, DrawsMagnitudeThenSignAndClosesTheSum) {
    for (std::uint32_t seedValue = 0; seedValue < 200; ++seedValue) {
        SongSettings s;
        s.seedCount = 3;
        RandomGenerator random(seedValue);
        RandomGenerator replay(seedValue);
        drawSeed(s, random);
        for (std::size_t i = 0; i < 7; ++i) {
            const int magnitude = randBelow(replay, 7);
            const int sign = randBelow(replay, 2);
            ASSERT_EQ(s.seed[i], magnitude * (2 * sign - 1));
        }
        EXPECT_EQ(random.state(), replay.state()) << "exactly 14 draws";
        EXPECT_EQ(seedSum(s), 0);
        EXPECT_EQ(s.seedCount, 8);
        EXPECT_GE(s.seed[7], -42);
        EXPECT_LE(s.seed[7], 42);
    }
}

TEST(DrawSeed, ChangesNothingButTheSeed) {
    SongSettings s;
    s.scaleIndex = 5;
    s.reserved[3] = 77;
    s.drumKit[2] = 9;
    SongSettings before = s;
    RandomGenerator random(4);
    drawSeed(s, random);
    before.seed = s.seed;
    before.seedCount = s.seedCount;
    EXPECT_EQ(s, before);
}

TEST(RandomiseAll, DrawsInOrderAndSetsTheArrangement) {
    for (std::uint32_t seedValue = 0; seedValue < 200; ++seedValue) {
        SongSettings s;
        s.lowOctave = {3, 4, 5};
        s.hold = {1, 1, 1};
        s.modulation = {1, 1, 1};
        s.portamento = {1, 1, 1};
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
            const int magnitude = randBelow(replay, 7);
            ASSERT_EQ(s.seed[i], (2 * sign - 1) * magnitude);
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
        EXPECT_EQ(s.hold, (VoiceValues{0, 0, 0}));
        EXPECT_EQ(s.modulation, (VoiceValues{0, 0, 0}));
        EXPECT_EQ(s.portamento, (VoiceValues{0, 0, 0}));
        EXPECT_EQ(s.transpose, 0);
        EXPECT_EQ(s.repeatLength, 0);
        EXPECT_EQ(s.harmonyOffset, 0);
        EXPECT_EQ(s.drumVolume, 33);
        EXPECT_EQ(s.reserved[28], 5);
    }
}

TEST(StartValues, MatchTheDialogAtStart) {
    SongSettings s;
    RandomGenerator random(2024);
    applyStartValues(s, random);
    EXPECT_EQ(s.seedCount, 8);
    EXPECT_EQ(seedSum(s), 0);
    EXPECT_EQ(s.scaleIndex, 0);
    EXPECT_EQ(s.instrument, (VoiceValues{0, 0, 0}));
    EXPECT_EQ(s.lowOctave, (VoiceValues{1, 1, 1}));
    EXPECT_EQ(s.highOctave, (VoiceValues{10, 10, 10}));
    EXPECT_EQ(s.voiceOffset, (VoiceValues{24, 12, 0}));
    EXPECT_EQ(s.volume, (VoiceValues{90, 90, 90}));
    EXPECT_EQ(s.hold, (VoiceValues{0, 1, 0}));
    EXPECT_EQ(s.modulation, (VoiceValues{0, 0, 0}));
    EXPECT_EQ(s.portamento, (VoiceValues{0, 0, 0}));
    EXPECT_EQ(s.beatLength, 8);
    EXPECT_EQ(s.stepMs, 175);
    EXPECT_EQ(s.drumVolume, 60);
    EXPECT_EQ(s.drumKit, (std::array<std::int32_t, 8>{}));
    EXPECT_EQ(s.transpose, 0);
    EXPECT_EQ(s.repeatLength, 0);
    EXPECT_EQ(s.harmonyOffset, 0);
    EXPECT_EQ(s.reserved, (std::array<std::int32_t, 29>{}));

    // The seed is the one drawSeed gives for the same generator state.
    SongSettings drawn;
    RandomGenerator replay(2024);
    drawSeed(drawn, replay);
    EXPECT_EQ(s.seed, drawn.seed);
}

} // namespace
} // namespace tarnwick
