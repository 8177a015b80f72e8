// A whole performance through the built-in synthesiser, rendered into memory
// with the real SoundFont: "Play", a few seconds of ticks on the step grid,
// then "Stop".

#include <cstdint>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "tests/outputs/render_harness.h"

namespace tarnwick::testing {
namespace {

constexpr int kTicks = 24; // 4.2 s at the start values' 175 ms per step

struct PlayedPiece {
    RenderHarness harness;
    std::int64_t stopFrame = 0;
};

// Plays the start values of `seed` with the drum kit `drums` for kTicks ticks
// and stops half a step after the last one, rendering as it goes; then
// renders one more second.
void playPiece(PlayedPiece& piece, std::uint32_t seed, const std::array<std::int32_t, 8>& drums,
               std::int32_t beatLength = 8) {
    RenderHarness& h = piece.harness;
    RandomGenerator random(seed);
    SongSettings settings;
    applyStartValues(settings, random);
    settings.drumKit = drums;
    settings.beatLength = beatLength;
    settings.instrument = {0, 48, 32}; // piano, strings, bass
    Score score;
    generateScore(settings, score);
    PlayState state;
    ManualStepTimer timer;
    const double stepFrames = settings.stepMs * kRate / 1000.0;

    h.output.setMessageTime(h.timeOfFrame(0.0));
    startPlayback(settings, score, state, h.output, timer);
    for (int k = 1; k <= kTicks; ++k) {
        const double tickFrame = k * stepFrames;
        h.render(static_cast<int>(tickFrame) - static_cast<int>(h.renderer.position()));
        h.output.setMessageTime(h.timeOfFrame(tickFrame));
        playStep(state, score, settings, random, h.output);
    }
    const double stopAt = (kTicks + 0.5) * stepFrames;
    h.render(static_cast<int>(stopAt) - static_cast<int>(h.renderer.position()));
    h.output.setMessageTime(h.timeOfFrame(stopAt));
    stopPlayback(h.output, timer);
    // Stop's messages sound a latency after their time.
    piece.stopFrame = static_cast<std::int64_t>(
        stopAt + std::chrono::duration<double>(SchedulerConfig{}.latency).count() * kRate);
    h.render(static_cast<int>(kRate));
}

class PlayedPieceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (findSoundFont(defaultSoundFontPaths()).empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont installed";
        }
    }
};

TEST_F(PlayedPieceTest, IsHeardAndFallsSilentAtStop) {
    PlayedPiece piece;
    ASSERT_EQ(piece.harness.loadFont(), "");
    playPiece(piece, 31337, {}); // every drum slot "Silence"
    const auto& audio = piece.harness.audio;
    // Each second of the performance sounds.
    for (std::int64_t second = 0; second + 44100 <= piece.stopFrame; second += 44100) {
        EXPECT_GT(rms(audio, second, second + 44100), 1e-3) << "second at frame " << second;
    }
    // All Sound Off cuts every voice within a render block: with the drums
    // silent and no reverb, nothing at all follows.
    const std::int64_t cut = piece.stopFrame + 2 * MessageScheduler::kBlockFrames;
    EXPECT_GT(rms(audio, piece.stopFrame - 4410, piece.stopFrame), 1e-3);
    EXPECT_LT(rms(audio, cut, static_cast<std::int64_t>(audio.size())), 1e-7);
}

TEST_F(PlayedPieceTest, OnlyDrumTailsRingOnAfterStop) {
    PlayedPiece withDrums;
    ASSERT_EQ(withDrums.harness.loadFont(), "");
    // Bass drum, snare, closed hi-hat on every step: short sounds that Stop
    // leaves to ring.
    playPiece(withDrums, 31337, {10, 12, 16, 10, 12, 16, 10, 12}, 1);
    const auto& audio = withDrums.harness.audio;
    const std::int64_t stop = withDrums.stopFrame;
    const double playing = rms(audio, stop - 44100, stop);
    EXPECT_GT(playing, 1e-3);
    // The drums are not cut, so something still sounds right after Stop...
    EXPECT_GT(rms(audio, stop + 256, stop + 2205), 1e-6);
    // ...but it dies away: half a second later the voices are long gone.
    EXPECT_LT(rms(audio, stop + 22050, stop + 44100), playing / 100);
}

} // namespace
} // namespace tarnwick::testing
