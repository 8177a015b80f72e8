// The timing benchmark's measurement: onsets found in audio and compared with
// a step grid. A wrong measurement would report good timing that is not there.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "bench/timing_analysis.h"

namespace tarnwick::bench {
namespace {

TEST(TimingAnalysis, FindsOnsetsAndMeasuresDeviationsFromTheGrid) {
    // Notes that rise linearly over 100 frames from fractional starts, then
    // hold: each crosses a quarter of the peak exactly 25 frames in.
    const std::vector<double> starts = {100.5, 1300.25, 2500.0};
    std::vector<float> audio(4000, 0.0f);
    for (double start : starts) {
        for (double i = std::ceil(start); i < start + 400.0; ++i) {
            audio[static_cast<std::size_t>(i)] =
                static_cast<float>(std::min(1.0, (i - start) / 100));
        }
    }
    const std::vector<double> onsets = detectOnsets(audio, 1000.0);
    ASSERT_EQ(onsets.size(), starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        EXPECT_NEAR(onsets[i], starts[i] + 25.0, 1e-3);
    }
    // 100 notes 50 ms apart heard 20 ms late, one missing (it shifts none of
    // the others), every tenth 2 ms later still, the last twenty 1 ms later:
    // the first twenty are 0.2 ms late on average, the last twenty 1.2 ms.
    std::vector<double> times;
    for (int k = 0; k < 100; ++k) {
        if (k != 7) {
            times.push_back(10.02 + 0.05 * k + (k % 10 == 5 ? 0.002 : 0) + (k >= 80 ? 0.001 : 0));
        }
    }
    const TimingFigures figures = compareWithGrid(times, 10.0, 0.05);
    EXPECT_EQ(figures.onsets, 99u);
    EXPECT_NEAR(figures.latencyMs, 20.0, 1e-6);
    EXPECT_NEAR(figures.medianMs, 0.0, 1e-6);
    EXPECT_NEAR(figures.maxMs, 3.0, 1e-6);
    EXPECT_NEAR(figures.p99Ms, 3.0, 1e-6);
    EXPECT_NEAR(figures.driftMs, 1.0, 1e-6);
}

} // namespace
} // namespace tarnwick::bench
