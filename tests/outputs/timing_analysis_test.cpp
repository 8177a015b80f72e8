// The timing benchmark's measurement: onsets found in audio and compared with
// a step grid. A wrong measurement would report good timing that is not there.

#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "bench/timing_analysis.h"

namespace tarnwick::bench {
namespace {

constexpr double kRate = 44100.0;

// A train of identical plucks (a decaying 1 kHz tone with a 1 ms attack)
// starting at the given fractional frames; each rings into the next.
std::vector<float> plucks(const std::vector<double>& starts, std::size_t length) {
    std::vector<float> audio(length, 0.0f);
    for (double start : starts) {
        for (auto i = static_cast<std::size_t>(std::ceil(start)); i < length; ++i) {
            const double t = (static_cast<double>(i) - start) / kRate;
            const double attack = std::min(1.0, t / 0.001);
            const double value =
                0.5 * attack * std::exp(-t / 0.015) * std::sin(2.0 * std::numbers::pi * 1000.0 * t);
            audio[i] += static_cast<float>(value);
        }
    }
    return audio;
}

TEST(TimingAnalysis, FindsEachOnsetOfATrainOfIdenticalNotes) {
    const std::vector<double> starts = {1000.0, 3205.3, 5410.9, 7615.0, 9820.5};
    const std::vector<float> audio = plucks(starts, 12000);
    const std::vector<double> onsets = detectOnsets(audio, 1000.0);
    ASSERT_EQ(onsets.size(), starts.size());
    // Every note crosses the level at the same point of its attack.
    const double delay = onsets[0] - starts[0];
    EXPECT_GE(delay, 0.0);
    EXPECT_LT(delay, 0.002 * kRate);
    for (std::size_t i = 1; i < starts.size(); ++i) {
        EXPECT_NEAR(onsets[i] - starts[i], delay, 2.0) << "note " << i; // 0.05 ms
    }
}

TEST(TimingAnalysis, TakesOffTheLatencyAndMeasuresDeviationsAndDrift) {
    // 100 notes 50 ms apart, heard 20 ms late, every tenth one 2 ms later
    // still, and the last twenty drifting 1 ms late.
    std::vector<double> onsets;
    for (int k = 0; k < 100; ++k) {
        double onset = 10.0 + 0.05 * k + 0.020;
        if (k % 10 == 5) {
            onset += 0.002;
        }
        if (k >= 80) {
            onset += 0.001;
        }
        onsets.push_back(onset);
    }
    const TimingFigures figures = compareWithGrid(onsets, 10.0, 0.05);
    EXPECT_EQ(figures.onsets, 100u);
    EXPECT_NEAR(figures.latencyMs, 20.0, 1e-6);
    EXPECT_NEAR(figures.medianMs, 0.0, 1e-6);
    EXPECT_NEAR(figures.maxMs, 3.0, 1e-6);
    EXPECT_NEAR(figures.p99Ms, 3.0, 1e-6);
    // First twenty: two notes 2 ms late (0.2 ms on average); last twenty:
    // all 1 ms late plus two more 2 ms late (1.2 ms).
    EXPECT_NEAR(figures.driftMs, 1.0, 1e-6);
}

TEST(TimingAnalysis, AMissingNoteDoesNotShiftTheOthers) {
    std::vector<double> onsets;
    for (int k = 0; k < 50; ++k) {
        if (k != 7) {
            onsets.push_back(3.0 + 0.175 * k + 0.015);
        }
    }
    const TimingFigures figures = compareWithGrid(onsets, 3.0, 0.175);
    EXPECT_EQ(figures.onsets, 49u);
    EXPECT_NEAR(figures.maxMs, 0.0, 1e-6);
}

} // namespace
} // namespace tarnwick::bench
