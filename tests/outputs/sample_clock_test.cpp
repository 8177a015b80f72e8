// The delay-locked loop that maps the steady clock onto the audio stream's
// frames: callbacks with jitter and bursts, a sound card running slightly
// fast, and an audio stall.

#include <cmath>
#include <cstdint>
#include <random>

#include <gtest/gtest.h>

#include "playback/outputs/sample_clock.h"

namespace tarnwick {
namespace {

constexpr double kRate = 44100.0;
constexpr int kPeriod = 256;

// A sound card whose frame f truly plays at origin + f / trueRate seconds,
// and whose callbacks come late by a random amount and in bursts.
struct SimulatedCard {
    double trueRate = kRate;
    double jitterSeconds = 0.002; // callbacks up to 2 ms late
    int burst = 1;                // callbacks that come together
    std::int64_t originNs = 5'000'000'000;
    std::mt19937 random{42};

    std::int64_t trueTimeNs(double frame) const {
        return originNs + static_cast<std::int64_t>(frame / trueRate * 1e9);
    }

    // Feeds `seconds` of callbacks to the clock, starting at frame `frame`.
    std::int64_t run(SampleClock& clock, std::int64_t frame, double seconds) {
        std::uniform_real_distribution<double> late(0.0, jitterSeconds);
        const auto end = frame + static_cast<std::int64_t>(seconds * trueRate);
        while (frame < end) {
            // A burst is requested when its first frame is due, all at once.
            const std::int64_t called = trueTimeNs(static_cast<double>(frame));
            for (int i = 0; i < burst; ++i) {
                clock.update(called + static_cast<std::int64_t>(late(random) * 1e9), frame);
                frame += kPeriod;
            }
        }
        return frame;
    }
};

// The worst error, in seconds, of the clock's frame for moments within the
// next 50 ms, relative to the straight line through the bursts' mid-points.
double worstError(const SampleClock& clock, const SimulatedCard& card, std::int64_t frame,
                  double lineOffsetSeconds) {
    double worst = 0.0;
    for (int ms = 0; ms <= 50; ms += 5) {
        const double target = static_cast<double>(frame) + ms * 1e-3 * card.trueRate;
        const std::int64_t time =
            card.trueTimeNs(target) + static_cast<std::int64_t>(lineOffsetSeconds * 1e9);
        worst = std::max(worst, std::abs(clock.frameAt(time) - target) / card.trueRate);
    }
    return worst;
}

TEST(SampleClock, ExactCallbacksGiveTheExactFrame) {
    SampleClock clock(kRate);
    SimulatedCard card;
    card.jitterSeconds = 0.0;
    const std::int64_t frame = card.run(clock, 0, 1.0);
    EXPECT_LT(worstError(clock, card, frame, 0.0), 1e-6);
}

TEST(SampleClock, AveragesOutJitteryCallbacks) {
    SampleClock clock(kRate);
    SimulatedCard card; // uniform 0..2 ms late: on average 1 ms
    const std::int64_t frame = card.run(clock, 0, 5.0);
    // Single callbacks are off by up to 2 ms; the smoothed line by far less.
    EXPECT_LT(worstError(clock, card, frame, 0.001), 0.0004);
}

TEST(SampleClock, FollowsBurstsOfCallbacksAsAStraightLine) {
    // Four callbacks at once every 23 ms, as a sound card with four periods
    // per buffer asks for them.
    SampleClock clock(kRate);
    SimulatedCard card;
    card.burst = 4;
    card.jitterSeconds = 0.0005;
    const std::int64_t frame = card.run(clock, 0, 5.0);
    // The line lies on average 1.5 periods behind the burst times; what counts
    // is that it is straight: a constant offset is only a constant latency.
    const double lag = 1.5 * kPeriod / kRate - 0.00025;
    EXPECT_LT(worstError(clock, card, frame, -lag), 0.0007);
}

TEST(SampleClock, LearnsACardThatRunsFast) {
    SampleClock steady(kRate);
    SimulatedCard exact;
    exact.jitterSeconds = 0.0;
    exact.trueRate = kRate * (1.0 + 300e-6); // 300 parts per million fast
    exact.run(steady, 0, 20.0);
    EXPECT_NEAR(steady.measuredRate(), exact.trueRate, kRate * 5e-6);

    // With jitter the measured rate wanders from callback to callback, but
    // the line through them keeps to the card's frames over a whole piece.
    SampleClock clock(kRate);
    SimulatedCard card;
    card.trueRate = exact.trueRate;
    const std::int64_t frame = card.run(clock, 0, 180.0);
    EXPECT_LT(worstError(clock, card, frame, 0.001), 0.0004);
}

TEST(SampleClock, RestartsAfterAnAudioStall) {
    SampleClock clock(kRate);
    SimulatedCard card;
    card.jitterSeconds = 0.0;
    std::int64_t frame = card.run(clock, 0, 1.0);
    // The audio thread stalls for 300 ms; the stream carries on from where it
    // was, so every later frame plays 300 ms later than before.
    card.originNs += 300'000'000;
    frame = card.run(clock, frame, 0.1);
    EXPECT_LT(worstError(clock, card, frame, 0.0), 1e-4);
}

} // namespace
} // namespace tarnwick
