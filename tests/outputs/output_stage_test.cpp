// The output stage's limiter on signals made to defeat it, and on one it must
// leave alone.

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "outputs/output_stage.h"

namespace tarnwick {
namespace {

constexpr double kRate = 44100.0;

// `frames` frames of f(frame) on both channels, the right one inverted.
struct Stereo {
    std::vector<float> left, right;
};
Stereo signal(int frames, const std::function<double(int)>& f) {
    Stereo s;
    for (int i = 0; i < frames; ++i) {
        s.left.push_back(static_cast<float>(f(i)));
        s.right.push_back(static_cast<float>(-f(i)));
    }
    return s;
}

// Runs the stage over the signal in pieces of `period` frames, as an audio
// callback would.
Stereo process(OutputStage& stage, Stereo s, int period) {
    for (std::size_t i = 0; i < s.left.size(); i += static_cast<std::size_t>(period)) {
        const int n = std::min(period, static_cast<int>(s.left.size() - i));
        stage.process(s.left.data() + i, s.right.data() + i, n);
    }
    return s;
}

double sine(int frame, double hz, double level) {
    return level * std::sin(2.0 * std::numbers::pi * hz * frame / kRate);
}

TEST(OutputStage, NoSampleOfAWorstCaseSignalPassesTheCeiling) {
    std::mt19937 noise(7);
    std::normal_distribution<double> gaussian(0.0, 1.0);
    struct Case {
        const char* name;
        std::function<double(int)> f;
    };
    const Case cases[] = {
        {"a lone spike after silence", [](int i) { return i == 5000 ? 40.0 : 0.0; }},
        {"full-scale square bursts", [](int i) { return (i / 300) % 3 == 0 ? 1.0 : 0.0; }},
        {"a sine 20 dB over", [](int i) { return sine(i, 110.0, 10.0); }},
        {"loud noise", [&](int) { return 4.0 * gaussian(noise); }},
        {"clicks on a quiet tone", [](int i) { return sine(i, 440, 0.2) + (i % 997 == 0) * 5.0; }},
    };
    for (const Case& c : cases) {
        OutputStage stage({.gain = 1.0});
        const Stereo out = process(stage, signal(44100, c.f), 97);
        float peak = 0.0f;
        for (std::size_t i = 0; i < out.left.size(); ++i) {
            peak = std::max({peak, std::abs(out.left[i]), std::abs(out.right[i])});
        }
        EXPECT_LE(peak, stage.ceiling()) << c.name;
        EXPECT_GT(peak, 0.99f * stage.ceiling()) << c.name << ": made quieter than it needs";
        EXPECT_LT(stage.deepestCut(), 1.0) << c.name;
    }
}

TEST(OutputStage, LeavesASignalBelowTheCeilingAsItWasOnlyDelayed) {
    // Quiet from the start, and quiet again a second after a loud burst.
    for (const bool burstFirst : {false, true}) {
        OutputStage stage({.gain = 1.0});
        const int from = burstFirst ? 2 * 44100 : 0;
        const Stereo in = signal(3 * 44100, [&](int i) {
            return i < 4410 && burstFirst ? sine(i, 60.0, 3.0) : sine(i, 440.0, 0.85);
        });
        const Stereo out = process(stage, in, 256);
        const auto delay = static_cast<std::size_t>(stage.latencyFrames());
        EXPECT_EQ(delay, 132u) << "3 ms at 44.1 kHz";
        for (std::size_t i = static_cast<std::size_t>(from); i + delay < in.left.size(); ++i) {
            ASSERT_EQ(out.left[i + delay], in.left[i]) << "frame " << i;
            ASSERT_EQ(out.right[i + delay], in.right[i]) << "frame " << i;
        }
        EXPECT_EQ(stage.deepestCut() == 1.0, !burstFirst);
    }
}

} // namespace
} // namespace tarnwick
