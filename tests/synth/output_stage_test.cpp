// The output stage's limiter on signals made to defeat it, and on ones it must leave alone.

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "synth/output_stage.h"

namespace tarnwick {
namespace {

double sine(int frame, double hz, double level) {
    return level * std::sin(2.0 * std::numbers::pi * hz * frame / 44100.0);
}

// `frames` of f (right inverted) through a stage of gain 1 in periods of 97.
struct Limited {
    OutputStage stage{{.gain = 1.0}};
    std::vector<float> in, left, right;

    Limited(const std::function<double(int)>& f, int frames) {
        for (int i = 0; i < frames; ++i) {
            in.push_back(static_cast<float>(f(i)));
            right.push_back(-in.back());
        }
        left = in;
        for (int i = 0; i < frames; i += 97) {
            stage.process(&left[std::size_t(i)], &right[std::size_t(i)], std::min(97, frames - i));
        }
    }
};

TEST(OutputStage, NoSampleOfAWorstCaseSignalPassesTheCeiling) {
    // Under -1 dBFS, so that a 16-bit conversion downstream stays under it too.
    EXPECT_LT(OutputStage().ceiling(), std::pow(10.0, -1.0 / 20.0));
    std::mt19937 noise(7);
    std::normal_distribution<double> gaussian(0.0, 4.0);
    const std::function<double(int)> cases[] = {
        [](int i) { return i == 5000 ? 40.0 : 0.0; },         // a lone spike after silence
        [](int i) { return (i / 300) % 3 == 0 ? 1.0 : 0.0; }, // full-scale square bursts
        [](int i) { return sine(i, 110.0, 10.0); },           // a sine 20 dB over
        [&](int) { return gaussian(noise); },                 // loud noise
        [](int i) { return sine(i, 440, 0.2) + (i % 997 == 0) * 5.0; }, // clicks on a quiet tone
    };
    for (std::size_t c = 0; c < std::size(cases); ++c) {
        const Limited run(cases[c], 44100);
        float peak = 0.0f;
        for (std::size_t i = 0; i < run.in.size(); ++i) {
            peak = std::max({peak, std::abs(run.left[i]), std::abs(run.right[i])});
        }
        EXPECT_LE(peak, run.stage.ceiling()) << "case " << c;
        EXPECT_GT(peak, 0.99f * run.stage.ceiling()) << "case " << c << ": quieter than needed";
    }
}

TEST(OutputStage, LeavesASignalBelowTheCeilingAsItWasOnlyDelayed) {
    // Quiet from the start, and quiet again two seconds after a loud burst.
    for (const int burst : {0, 4410}) {
        const Limited run([&](int i) { return sine(i, 440.0, i < burst ? 3.0 : 0.88); }, 3 * 44100);
        const auto delay = static_cast<std::size_t>(run.stage.latencyFrames());
        EXPECT_EQ(delay, 132u) << "3 ms";
        for (std::size_t i = burst == 0 ? 0 : 2 * 44100; i + delay < run.in.size(); ++i) {
            ASSERT_EQ(run.left[i + delay], run.in[i]) << "frame " << i;
            ASSERT_EQ(run.right[i + delay], -run.in[i]) << "frame " << i;
        }
        EXPECT_EQ(run.stage.deepestCut() == 1.0, burst == 0);
    }
}

} // namespace
} // namespace tarnwick
