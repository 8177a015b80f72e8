// The built-in synthesiser between performances: it stops rendering once
// everything has rung out, wakes for the next message without bunching the
// first notes when its sink is slow to start again, and plays again through a
// new sink after the old one's server went away.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "outputs/builtin_synth_output.h"
#include "outputs/soundfont_locator.h"

namespace tarnwick {
namespace {

using std::chrono::milliseconds;

constexpr double kRate = 44100.0;
constexpr int kPeriod = 256;
const std::uint32_t kWoodBlock = packShortMessage(0x99, 76, 127);

SteadyClock::time_point at(double seconds) {
    return SteadyClock::time_point(std::chrono::seconds(1000)) +
           std::chrono::duration_cast<SteadyClock::duration>(
               std::chrono::duration<double>(seconds));
}

class SynthWakeup : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string font = findSoundFont(defaultSoundFontPaths());
        if (font.empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont installed";
        }
        ASSERT_EQ(renderer.loadSoundFont(font), "");
    }
    // One period whose first frame is heard at `heard` seconds; true while
    // the renderer still wants to run.
    bool period(double heard) {
        left.assign(kPeriod, 1.0f);
        right.assign(kPeriod, 1.0f);
        const bool running = renderer.render({left.data(), right.data(), kPeriod, at(heard)});
        audio.insert(audio.end(), left.begin(), left.end());
        return running;
    }
    void sendAt(double seconds) { // a wood block heard then
        scheduler.setMessageTime(at(seconds) - SchedulerConfig{}.latency);
        scheduler.send(kWoodBlock);
    }
    // Onsets (in seconds of the rendered audio): loud after 30 ms of quiet.
    std::vector<double> onsets() const {
        std::vector<double> found;
        double lastLoud = -1.0;
        for (std::size_t i = 0; i < audio.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            if (std::abs(audio[i]) > 0.02f) {
                if (t - lastLoud > 0.03) {
                    found.push_back(t);
                }
                lastLoud = t;
            }
        }
        return found;
    }

    MessageScheduler scheduler;
    SynthRenderer renderer{SynthConfig{kRate, 0.4, false}, scheduler};
    std::vector<float> left, right, audio;
};

TEST_F(SynthWakeup, StopsRenderingOnceEverythingHasRungOutAndWakesForTheNextMessage) {
    double heard = 0.0;
    const auto next = [&] {
        heard += kPeriod / kRate;
        return period(heard - kPeriod / kRate);
    };
    EXPECT_FALSE(next()) << "silent from the start";
    sendAt(0.1);
    int running = 0;
    while (next() && running < 1000) {
        ++running;
    }
    const double ranFor = running * kPeriod / kRate;
    EXPECT_GT(ranFor, 0.1 + SynthRenderer::kQuietSeconds); // until its due time, then the hit
    EXPECT_LT(ranFor, 3.0);                                // and its tail, then a second
    sendAt(heard + 0.1);
    EXPECT_TRUE(next()) << "the next message wakes it";
}

TEST_F(SynthWakeup, ASinkSlowToStartPutsOffThePerformanceInsteadOfBunchingIt) {
    // Two hits a step apart; the sink's first period after the silence is
    // heard 30 ms after the first hit was due.
    sendAt(0.0);
    sendAt(0.175);
    for (int i = 0; i < 40; ++i) {
        period(0.030 + i * kPeriod / kRate);
    }
    const std::vector<double> hits = onsets();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_NEAR(hits[1] - hits[0], 0.175, MessageScheduler::kBlockFrames / kRate);
}

// A sound card that can lose its server, counting how often it was opened.
struct Card {
    int opened = 0;
    bool serverUp = true;
    AudioSource* source = nullptr;
};

TEST_F(SynthWakeup, AfterALossSaysSoAndPlaysThroughANewSinkOnceTheServerIsBack) {
    struct Sink : AudioSink {
        explicit Sink(Card& c) : card(c) {}
        ~Sink() override { card.source = nullptr; }
        double sampleRate() const override { return kRate; }
        std::chrono::nanoseconds latency() const override { return {}; }
        Card& card;
    };
    Card card;
    BuiltinSynthOptions options;
    options.drivers = {"card"};
    options.openSink = [&card](std::string_view, double,
                               AudioSource& source) -> std::unique_ptr<AudioSink> {
        if (!card.serverUp) {
            return nullptr;
        }
        ++card.opened;
        card.source = &source;
        return std::make_unique<Sink>(card);
    };
    BuiltinSynthOutput synth(options);
    ASSERT_TRUE(synth.waitUntilOpen(std::chrono::seconds(60)));
    const std::string playing = synth.status();
    card.serverUp = false;
    card.source->sinkLost("the sound server went away (card)");
    EXPECT_EQ(synth.status(), "No sound: the sound server went away (card)");
    EXPECT_FALSE(synth.isSilent()) << "it plays on, silently";
    synth.send(kWoodBlock); // tries again at once: the server is still away
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_NE(synth.status(), playing);

    card.serverUp = true;
    std::this_thread::sleep_for(BuiltinSynthOutput::kRetryEvery);
    synth.send(kWoodBlock);
    for (int i = 0; i < 500 && synth.status() != playing; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(synth.status(), playing);
    EXPECT_EQ(card.opened, 2);
    EXPECT_NE(card.source, nullptr);
}

} // namespace
} // namespace tarnwick
