// Steps on a followed timeline: the step at a position, the counters a
// relocation leaves, and the performance carrying on there.

#include <gtest/gtest.h>

#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/recording_output.h"
#include "playback/beat_position.h"
#include "playback/manual_step_timer.h"
#include "playback/performance.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "playback/timeline_follower.h"

namespace tarnwick {
namespace {

TEST(BeatPosition, StepsAtAPositionWrapAndARoundedPositionCountsAsItsStep) {
    EXPECT_EQ(stepAtBeat(0.0, 8), 0);
    EXPECT_EQ(stepAtBeat(1.0, 8), 8);
    EXPECT_EQ(stepAtBeat(1.0 - 1e-6, 8), 8); // a master's tick rounded down
    EXPECT_EQ(stepAtBeat(1.1, 4), 4);
    EXPECT_EQ(stepAtBeat(129.0, 8), 1032);
    EXPECT_EQ(scoreStep(1032), 8);
    EXPECT_EQ(scoreStep(-1), 1023);
    EXPECT_EQ(clockPulsesPerStep(2), 12);
    EXPECT_DOUBLE_EQ(tempoOfStepMs(125, 4), 120.0);
}

// Whatever the beat, placing the player at a step leaves exactly the counters
// that playing every step up to it leaves, across wraps of the score.
TEST(BeatPosition, PlacingAtAStepMatchesPlayingUpToIt) {
    const Score silent;
    const SongSettings base;
    for (const std::int32_t beat : {0, 1, 3, 7, 8, 16}) {
        SongSettings settings = base;
        settings.beatLength = beat;
        PlayState played;
        placeAtStep(played, 0, beat);
        RandomGenerator random(3);
        RecordingOutput output;
        for (std::int64_t step = 0; step <= 2100; ++step) {
            PlayState placed;
            placeAtStep(placed, step, beat);
            played.playPosition %= kStepCount; // 1024 after the last step plays step 0
            ASSERT_EQ(placed, played) << "beat " << beat << ", step " << step;
            playStep(played, silent, settings, random, output);
        }
    }
}

// A piece of the start values with one drum on every slot, played to a record
// of its note-ons without velocities.
struct Played {
    Played() {
        applyStartValues(piece.settings, piece.random);
        piece.settings.beatLength = 3;
        piece.settings.drumKit.fill(9);
        auto recorded = std::make_unique<RecordingOutput>();
        output = recorded.get();
        performance.switchOutput(std::move(recorded), {});
    }
    std::vector<std::uint32_t> noteOns(int ticks) {
        output->messages.clear();
        for (int i = 0; i < ticks; ++i) {
            performance.tick(SteadyClock::time_point{});
        }
        std::vector<std::uint32_t> keys;
        for (std::uint32_t message : output->messages) {
            if ((message & 0xF0) == 0x90) {
                keys.push_back(message & 0xFFFF);
            }
        }
        return keys;
    }
    Piece piece;
    ManualStepTimer timer;
    Performance performance{piece, timer};
    RecordingOutput* output = nullptr;
};

// Started at a later step, or moved there, the performance strikes the notes
// and drums of the one that played through to it.
TEST(BeatPosition, APerformanceCarriesOnAtTheStepOfANewPosition) {
    constexpr std::int64_t kLater = 1024 + 517;
    Played straight, started, moved;
    straight.performance.play(SteadyClock::time_point{});
    straight.noteOns(kLater);
    const std::vector<std::uint32_t> expected = straight.noteOns(40);
    ASSERT_GT(expected.size(), 40u);
    started.performance.play(SteadyClock::time_point{}, kLater);
    EXPECT_EQ(started.noteOns(40), expected);
    moved.performance.play(SteadyClock::time_point{});
    moved.noteOns(5);
    moved.performance.carryOnAt(kLater);
    EXPECT_EQ(moved.noteOns(40), expected);
    EXPECT_EQ(moved.performance.nextStep(), kLater + 40);
}

// A timeline on the steady clock (a Link session) gives each step its very
// moment.
TEST(BeatPosition, AStepOnTheSteadyClockCarriesItsVeryMoment) {
    struct Instants final : RecordingOutput {
        void setMessageTime(SteadyClock::time_point) override { ++timed; }
        void setMessageInstant(SteadyClock::time_point time) override { at.push_back(time); }
        std::vector<SteadyClock::time_point> at;
        int timed = 0;
    };
    Played run;
    auto recorded = std::make_unique<Instants>();
    Instants& instants = *recorded;
    run.performance.switchOutput(std::move(recorded), {});
    instants.timed = 0;
    TimelineFollower follower(run.performance, 4);
    const SteadyClock::time_point barOne(std::chrono::seconds(1));
    TimelineView view{.starting = true,
                      .frame = barOne.time_since_epoch().count(),
                      .runStart = barOne.time_since_epoch().count(),
                      .time = barOne,
                      .rate = 1e9,
                      .beatsPerMinute = 150.0,
                      .steadyFrames = true};
    follower.follow(view, barOne + std::chrono::milliseconds(950));
    // The set-up at bar 1, then ten steps a tenth of a second apart.
    EXPECT_EQ(instants.timed, 0);
    std::vector<SteadyClock::time_point> steps(instants.at.begin() + 1, instants.at.end());
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    ASSERT_EQ(steps.size(), 10u);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        EXPECT_EQ(steps[k], barOne + std::chrono::milliseconds(100) * k);
    }
}

} // namespace
} // namespace tarnwick
