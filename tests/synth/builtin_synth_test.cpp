// The built-in synthesiser: clock, queue, the real SoundFont, a stand-in card.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "synth/builtin_synth_output.h"
#include "synth/soundfont_locator.h"

namespace tarnwick {
namespace {

using std::chrono::milliseconds;

constexpr double kRate = 44100.0;
constexpr std::int64_t kBlock = MessageScheduler::kBlockFrames;

// A short message: status (its low four bits the channel) and data bytes.
std::uint32_t msg(int status, int data1, int data2 = 0) {
    return packShortMessage(static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(data1),
                            static_cast<std::uint8_t>(data2));
}

const std::uint32_t kWoodBlock = msg(0x99, 76, 127);

// `seconds` after a fixed moment of the steady clock.
SteadyClock::time_point at(double seconds) {
    return SteadyClock::time_point(std::chrono::seconds(1000)) +
           std::chrono::nanoseconds(std::llround(seconds * 1e9));
}

TEST(SampleClock, FollowsTheCardsFramesThroughJitterBurstsDriftAndStalls) {
    // Frame f plays at origin + f / rate, called up to `jitter` s late, `burst`
    // periods at a time, then `stall` s later (or earlier), which the stream
    // may say itself (`restart`). `tolerance` in s.
    const struct {
        const char* name;
        double ppmFast, jitter;
        int burst;
        double seconds, stall, tolerance;
        bool restart = false;
    } cases[] = {
        {"2 ms of jitter", 0, 0.002, 1, 5.0, 0, 0.0004},
        {"bursts of four", 0, 0.0005, 4, 5.0, 0, 0.0007},
        {"a card 300 ppm fast, for a whole piece", 300, 0.002, 1, 180.0, 0, 0.0004},
        {"a 300 ms stall", 0, 0, 1, 1.0, 0.3, 1e-4},
        {"frames 300 ms early, as after a skip", 0, 0, 1, 1.0, -0.3, 1e-4},
        {"a graph period later, as the stream says", 0, 0, 1, 1.0, 512 / kRate, 1e-4, true},
    };
    for (const auto& c : cases) {
        const double rate = kRate * (1.0 + c.ppmFast * 1e-6);
        std::int64_t originNs = 5'000'000'000;
        const auto timeNs = [&](double f) { return originNs + std::llround(f / rate * 1e9); };
        std::mt19937 random(42);
        std::uniform_real_distribution<double> late(0.0, c.jitter * 1e9);
        SampleClock clock(kRate);
        std::int64_t frame = 0;
        bool restart = false;
        const auto run = [&](double seconds) {
            for (const auto end = frame + std::llround(seconds * rate); frame < end;) {
                const std::int64_t called = timeNs(static_cast<double>(frame));
                for (int i = 0; i < c.burst; ++i, frame += 256) {
                    clock.update(called + std::llround(late(random)), frame,
                                 std::exchange(restart, false));
                }
            }
        };
        run(c.seconds);
        if (c.stall != 0) {
            originNs += std::llround(c.stall * 1e9);
            restart = c.restart;
            run(0.1);
        }
        // The callbacks' mean lateness is a constant latency, not an error.
        const double lateness = c.jitter / 2 - (c.burst - 1) * 128 / kRate;
        for (double ahead = 0.0; ahead <= 0.05; ahead += 0.005) {
            const double target = static_cast<double>(frame) + ahead * rate;
            EXPECT_NEAR(clock.frameAt(timeNs(target) + std::llround(lateness * 1e9)), target,
                        c.tolerance * rate)
                << c.name;
        }
    }
}

using Applies = std::vector<std::pair<std::int64_t, std::uint32_t>>;

// Runs the audio side over blocks [0, blocks), recording what is applied.
Applies drain(MessageScheduler& scheduler, const SampleClock& clock, int blocks = 60) {
    Applies applied;
    for (std::int64_t block = 0; block < blocks; ++block) {
        scheduler.applyDue(block * kBlock, clock, 0,
                           [&](std::uint32_t m) { applied.emplace_back(block, m); });
    }
    return applied;
}

// A clock on which frame f plays `f / kRate` seconds after `start`.
SampleClock exactClock(SteadyClock::time_point start = at(0.0)) {
    SampleClock clock(kRate);
    clock.update(start.time_since_epoch().count(), 0);
    return clock;
}

// Whether and in which order; where each lands is checked end to end below.
TEST(MessageScheduler, KeepsTheOrderSentAndDropsOnlyStaleNoteOns) {
    // Times in frames. Note-ons a second late are dropped, the rest applied at
    // once; a message due before the one sent before it waits for that one.
    const std::pair<double, std::uint32_t> sent[] = {
        {-kRate, msg(0xC0, 19)},         {-kRate, msg(0x90, 60, 100)},
        {-kRate, msg(0x90, 61, 0)},      {-0.1 * kRate, msg(0x90, 63, 100)},
        {10 * kBlock, msg(0x90, 60, 1)}, {5 * kBlock, msg(0x80, 60)}};
    MessageScheduler scheduler(SchedulerConfig{milliseconds(0)});
    for (const auto& [frame, m] : sent) {
        scheduler.setMessageTime(at(frame / kRate));
        scheduler.send(m);
    }
    EXPECT_EQ(drain(scheduler, exactClock()), (Applies{{0, msg(0xC0, 19)},
                                                       {0, msg(0x90, 61, 0)},
                                                       {0, msg(0x90, 63, 100)},
                                                       {10, msg(0x90, 60, 1)},
                                                       {10, msg(0x80, 60)}}));
    // With no message time set, a latency (13.8 blocks) after it is sent.
    const SampleClock clock = exactClock(SteadyClock::now());
    MessageScheduler unstamped;
    unstamped.send(msg(0x90, 60, 1));
    const Applies applied = drain(unstamped, clock, 100);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_GE(applied[0].first, 13);
}

TEST(MessageScheduler, AFullQueueKeepsInstrumentsAndControllersButDropsNotes) {
    MessageScheduler scheduler(SchedulerConfig{milliseconds(0)});
    // A full queue: two messages due now, the rest at block 10.
    for (std::size_t i = 0; i < MessageScheduler::kCapacity; ++i) {
        scheduler.setMessageTime(at(i < 2 ? 0.0 : 10.0 * kBlock / kRate));
        scheduler.send(msg(0x80, 1));
    }
    // The set-up of a new "Play" arrives and is kept aside, but for its note.
    for (const std::uint32_t m :
         {msg(0xB3, 7, 90), msg(0xC3, 40), msg(0xB3, 120), msg(0xC3, 41), msg(0x93, 60, 100)}) {
        scheduler.send(m);
    }
    EXPECT_EQ(scheduler.pending(), MessageScheduler::kCapacity);
    // Room for two: the next send queues two kept messages (mode, last program,
    // controllers) and drops its note; once there is room, the rest go first.
    drain(scheduler, exactClock(), 1);
    scheduler.send(msg(0x93, 61, 100));
    Applies applied = drain(scheduler, exactClock(), 11);
    scheduler.send(msg(0x93, 63, 100));
    std::erase_if(applied, [](const auto& a) { return a.second == msg(0x80, 1); });
    EXPECT_EQ(applied, (Applies{{10, msg(0xB3, 120)}, {10, msg(0xC3, 41)}}));
    EXPECT_EQ(drain(scheduler, exactClock(), 11),
              (Applies{{10, msg(0xB3, 7, 90)}, {10, msg(0x93, 63, 100)}}));
    scheduler.close(); // closed: takes nothing more
    scheduler.send(msg(0xC0, 1));
    EXPECT_EQ(scheduler.pending(), 0u);
}

class BuiltinSynthTest : public ::testing::Test {
  protected:
    void SetUp() override {
        font = findSoundFont(defaultSoundFontPaths());
        if (font.empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont installed";
        }
        ASSERT_EQ(renderer.loadSoundFont(font), "");
    }

    // Sends `messages` to be heard at `seconds`, a latency after their time.
    void sendAt(double seconds, std::initializer_list<std::uint32_t> messages) {
        scheduler.setMessageTime(at(seconds) - SchedulerConfig{}.latency);
        for (const std::uint32_t m : messages) {
            scheduler.send(m);
        }
    }
    // One period heard at `heard` s, its left channel kept; true while running.
    bool period(double heard, int frames = 256) {
        std::vector<float> left(static_cast<std::size_t>(frames), 1.0f), right(left);
        const bool running = renderer.render({left.data(), right.data(), frames, at(heard)});
        audio.insert(audio.end(), left.begin(), left.end());
        return running;
    }
    // Renders up to frame `end` in periods of `frames`, each heard as it plays.
    void renderTo(std::int64_t end, int frames = 256) {
        while (renderer.position() < end) {
            const auto n = std::min<std::int64_t>(frames, end - renderer.position());
            period(static_cast<double>(renderer.position()) / kRate, static_cast<int>(n));
        }
    }
    double rms(std::int64_t from, std::int64_t to) const {
        const auto begin = audio.begin() + from, end = audio.begin() + to;
        return std::sqrt(std::inner_product(begin, end, begin, 0.0) /
                         static_cast<double>(to - from));
    }
    // The first frame at or after `from` louder than `level`.
    std::int64_t firstSound(std::int64_t from, float level = 1e-3f) const {
        return std::find_if(audio.begin() + from, audio.end(),
                            [level](float s) { return std::abs(s) > level; }) -
               audio.begin();
    }

    MessageScheduler scheduler;
    SynthRenderer renderer{SynthConfig{kRate, 0.4, false}, scheduler};
    std::vector<float> audio;
    std::string font;
};

TEST_F(BuiltinSynthTest, PlacesEachNoteAtTheBlockBoundaryNearestItsDueFrame) {
    // Long past due before the first render (Play while loading): not all at once.
    scheduler.setMessageTime(at(-2.0));
    for (int key = 40; key < 80; ++key) {
        scheduler.send(msg(0x90, key, 100));
    }
    // Hits 8192 frames apart, `offset` after a boundary; the first gives the delay.
    const double offsets[] = {0.0, 1.0, 17.5, 31.0, 31.9, 32.1, 40.0, 63.0};
    const auto due = [&](std::size_t i) {
        return 8192.0 * static_cast<double>(i + 1) + offsets[i];
    };
    for (std::size_t i = 0; i < std::size(offsets); ++i) {
        sendAt(due(i) / kRate, {kWoodBlock});
        sendAt((due(i) + 4000.0) / kRate, {msg(0xB9, 120)});
    }
    renderTo(8192 * 9, 97); // callbacks that straddle the render blocks
    const std::int64_t delay = firstSound(0) - 8192;
    ASSERT_TRUE(delay >= 0 && delay < 4 * kBlock) << delay;
    for (std::size_t i = 0; i < std::size(offsets); ++i) {
        const std::int64_t onset = firstSound(static_cast<std::int64_t>(due(i)) - 1000);
        EXPECT_EQ(onset - delay, std::llround(due(i) / kBlock) * kBlock) << "due at " << due(i);
    }
}

TEST_F(BuiltinSynthTest, NotesEndInTheOrderSentAndAllSoundOffCutsEveryVoice) {
    // A note-off after a note-on in one tick ends it; in the other order it is
    // held, until All Sound Off silences it within a render block.
    sendAt(0.0, {msg(0xC1, 16)}); // drawbar organ: sustains while held, stops at once
    sendAt(0.1, {msg(0x91, 60, 100), msg(0x81, 60)});
    sendAt(2.0, {msg(0x81, 60), msg(0x91, 60, 100)});
    sendAt(4.0, {msg(0xB1, 120)});
    renderTo(220500);
    EXPECT_LT(rms(4410 + 11025, 4410 + 22050), 1e-4);
    EXPECT_GT(rms(88200 + 22050, 88200 + 44100), 1e-2);
    EXPECT_LT(rms(176400 + 2 * kBlock, 220500), 1e-7);
}

TEST_F(BuiltinSynthTest, StopsRenderingOnceEverythingHasRungOutAndWakesForTheNextMessage) {
    const auto next = [&] { return period(static_cast<double>(renderer.position()) / kRate); };
    EXPECT_FALSE(next()) << "silent from the start";
    sendAt(0.1, {kWoodBlock});
    int running = 0;
    while (next() && running < 1000) {
        ++running;
    }
    const double ranFor = running * 256 / kRate;
    EXPECT_GT(ranFor, 0.1 + SynthRenderer::kQuietSeconds); // until its due time, then the hit
    EXPECT_LT(ranFor, 3.0);                                // and its tail, then a second
    sendAt(static_cast<double>(renderer.position()) / kRate + 0.1, {kWoodBlock});
    EXPECT_TRUE(next()) << "the next message wakes it";
}

TEST_F(BuiltinSynthTest, ASinkSlowToStartPutsOffThePerformanceInsteadOfBunchingIt) {
    // Two hits a step apart; the sink's first period is heard 30 ms late.
    sendAt(0.0, {kWoodBlock});
    sendAt(0.175, {kWoodBlock});
    for (int i = 0; i < 40; ++i) {
        period(0.030 + i * 256 / kRate);
    }
    const std::int64_t first = firstSound(0, 0.02f);
    const std::int64_t second = firstSound(first + std::llround(0.1 * kRate), 0.02f);
    EXPECT_NEAR(static_cast<double>(second - first) / kRate, 0.175, kBlock / kRate);
}

// A sound card, the only driver that opens ("card"), while its server is up.
struct Card {
    struct Sink : AudioSink {
        explicit Sink(Card& c) : card(c) {}
        ~Sink() override { card.source = nullptr; }
        double sampleRate() const override { return kRate; }
        std::chrono::nanoseconds latency() const override { return {}; }
        void resume() override { ++card.resumed; }
        std::string serverName() const override { return card.server; }
        Card& card;
    };

    BuiltinSynthOptions options(const std::string& soundFont = "") {
        BuiltinSynthOptions options;
        options.soundFont = soundFont;
        options.drivers = {"pulseaudio", "card"};
        options.openSink = [this](std::string_view driver, double,
                                  AudioSource& played) -> std::unique_ptr<AudioSink> {
            if (!serverUp || driver != "card") {
                return nullptr;
            }
            ++opened;
            source = &played;
            return std::make_unique<Sink>(*this);
        };
        return options;
    }

    bool serverUp = true;
    std::string server = {}; // behind the driver, when its name does not say it
    int opened = 0;
    int resumed = 0;
    AudioSource* source = nullptr; // while open
};

TEST_F(BuiltinSynthTest, PlaysThroughTheFirstDriverThatOpensOrIsSilentAndSaysWhy) {
    Card closing;
    std::make_unique<BuiltinSynthOutput>(closing.options())->send(msg(0x90, 60, 100));
    EXPECT_EQ(closing.source, nullptr); // closed while still opening

    const std::string notAFont = ::testing::TempDir() + "tarnwick-not-a-font.sf2";
    std::ofstream(notAFont) << "RIFF but not a SoundFont";
    using S = OutputState;
    const std::tuple<bool, std::string, S> cases[] = {
        {true, "", S::playing(OutputPath::BuiltinSynth, soundFontDisplayName(font), "card")},
        {false, "",
         S::silent(OutputCause::NoAudioDevice, "pipewire, pulseaudio, alsa, jack, sdl2")},
        {true, "/no/x.sf2", S::silent(OutputCause::UnreadableSoundFont, "/no/x.sf2")},
        {true, notAFont,
         S::silent(OutputCause::SynthesiserFailed,
                   "the SoundFont " + notAFont + " could not be loaded")},
    };
    for (const auto& [up, path, state] : cases) {
        Card card{.serverUp = up};
        BuiltinSynthOutput synth(card.options(path));
        synth.send(msg(0xC0, 19)); // while it opens: waits, or does nothing
        ASSERT_TRUE(synth.waitUntilOpen(std::chrono::seconds(60)));
        EXPECT_EQ(synth.state(), state) << statusLine(synth.state());
        EXPECT_EQ(synth.isSilent(), card.source == nullptr) << path; // closed if silent
        // A note sent now is heard through the card within half a second.
        synth.setMessageTime(SteadyClock::now() - std::chrono::milliseconds(20));
        synth.send(msg(0x90, 64, 100));
        std::vector<float> left(256), right(256);
        float peak = 0.0f;
        const auto start = SteadyClock::now();
        for (int period = 0; period < 86 && card.source != nullptr; ++period) {
            card.source->render({left.data(), right.data(), 256,
                                 start + std::chrono::milliseconds(period * 256 * 1000) / 44100});
            peak = std::max(peak, *std::max_element(left.begin(), left.end()));
        }
        EXPECT_EQ(peak > 0.01f, !synth.isSilent()) << path;
    }
    std::remove(notAFont.c_str());
}

TEST_F(BuiltinSynthTest, ResumesAnIdleSinkAndAfterALossPlaysThroughANewOneOnceTheServerIsBack) {
    Card card{.server = "PipeWire"};
    BuiltinSynthOutput synth(card.options());
    ASSERT_TRUE(synth.waitUntilOpen(std::chrono::seconds(60)));
    const OutputState playing = synth.state();
    EXPECT_EQ(statusLine(playing),
              "Built-in synthesiser: " + soundFontDisplayName(font) + " (PipeWire)");
    synth.send(kWoodBlock);
    EXPECT_EQ(card.resumed, 1) << "the idle sink is woken";

    card.serverUp = false;
    card.source->sinkLost("card");
    EXPECT_EQ(synth.state(), OutputState::interrupted(OutputCause::SoundServerGone, "card"));
    EXPECT_FALSE(synth.isSilent()) << "it plays on, silently";
    synth.send(kWoodBlock); // tries again at once: the server is still away
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_NE(synth.state(), playing);

    card.serverUp = true;
    std::this_thread::sleep_for(BuiltinSynthOutput::kRetryEvery);
    synth.send(kWoodBlock);
    for (int i = 0; i < 500 && synth.state() != playing; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(synth.state(), playing);
    EXPECT_EQ(card.opened, 2);
    EXPECT_NE(card.source, nullptr);
}

} // namespace
} // namespace tarnwick
