// The output stage's limiter on signals made to defeat it, and on ones it
// must leave alone.

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "outputs/output_stage.h"

namespace tarnwick {
namespace {

using Signal = std::function<double(int frame)>;

double sine(int frame, double hz, double level) {
    return level * std::sin(2.0 * std::numbers::pi * hz * frame / 44100.0);
}

// One second of the signal (the right channel inverted) through a stage of
// gain 1, in periods of 97 frames as an audio callback might ask.
struct Limited {
    OutputStage stage{{.gain = 1.0}};
    std::vector<float> in, left, right;

    explicit Limited(const Signal& f, int frames = 44100) {
        for (int i = 0; i < frames; ++i) {
            in.push_back(static_cast<float>(f(i)));
        }
        left = in;
        right.resize(in.size());
        std::transform(in.begin(), in.end(), right.begin(), [](float s) { return -s; });
        for (std::size_t i = 0; i < in.size(); i += 97) {
            const int n = std::min(97, static_cast<int>(in.size() - i));
            stage.process(left.data() + i, right.data() + i, n);
        }
    }
};

TEST(OutputStage, NoSampleOfAWorstCaseSignalPassesTheCeiling) {
    std::mt19937 noise(7);
    std::normal_distribution<double> gaussian(0.0, 4.0);
    const Signal cases[] = {
        [](int i) { return i == 5000 ? 40.0 : 0.0; },         // a lone spike after silence
        [](int i) { return (i / 300) % 3 == 0 ? 1.0 : 0.0; }, // full-scale square bursts
        [](int i) { return sine(i, 110.0, 10.0); },           // a sine 20 dB over
        [&](int) { return gaussian(noise); },                 // loud noise
        [](int i) { return sine(i, 440, 0.2) + (i % 997 == 0) * 5.0; }, // clicks on a quiet tone
    };
    for (std::size_t c = 0; c < std::size(cases); ++c) {
        const Limited run(cases[c]);
        float peak = 0.0f;
        for (std::size_t i = 0; i < run.left.size(); ++i) {
            peak = std::max({peak, std::abs(run.left[i]), std::abs(run.right[i])});
        }
        EXPECT_LE(peak, run.stage.ceiling()) << "case " << c;
        EXPECT_GT(peak, 0.99f * run.stage.ceiling()) << "case " << c << ": quieter than needed";
    }
}

TEST(OutputStage, LeavesASignalBelowTheCeilingAsItWasOnlyDelayed) {
    // Quiet from the start, and quiet again a second after a loud burst.
    for (const int burst : {0, 4410}) {
        const Limited run(
            [&](int i) { return i < burst ? sine(i, 60.0, 3.0) : sine(i, 440.0, 0.88); },
            3 * 44100);
        const auto delay = static_cast<std::size_t>(run.stage.latencyFrames());
        EXPECT_EQ(delay, 132u) << "3 ms";
        const std::size_t from = burst == 0 ? 0 : 2 * 44100;
        for (std::size_t i = from; i + delay < run.in.size(); ++i) {
            ASSERT_EQ(run.left[i + delay], run.in[i]) << "frame " << i;
            ASSERT_EQ(run.right[i + delay], -run.in[i]) << "frame " << i;
        }
        EXPECT_EQ(run.stage.deepestCut() == 1.0, burst == 0);
    }
}

} // namespace
} // namespace tarnwick
