// The built-in synthesiser, from the clock that maps time onto the audio
// stream's frames, through the queue that hands messages to the audio thread
// at the render block nearest their due frame, to the real SoundFont rendered
// into memory by a perfectly regular stand-in sound card (this machine has
// none), so timing is checked to the frame; and opened as the window does.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "outputs/builtin_synth_output.h"
#include "outputs/soundfont_locator.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "playback/transport.h"

namespace tarnwick {
namespace {

using std::chrono::milliseconds;

constexpr double kRate = 44100.0;
constexpr std::int64_t kBlock = MessageScheduler::kBlockFrames;
const double kLatencyFrames =
    std::chrono::duration<double>(SchedulerConfig{}.latency).count() * kRate;

// Short messages; c: channel 0-15, the rest data bytes 0-127.
std::uint32_t message(int status, int data1, int data2 = 0) {
    return packShortMessage(static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(data1),
                            static_cast<std::uint8_t>(data2));
}
const auto noteOn = [](int c, int key, int v) { return message(0x90 + c, key, v); };
const auto noteOff = [](int c, int key) { return message(0x80 + c, key); };
const auto programChange = [](int c, int p) { return message(0xC0 + c, p); };
const auto controlChange = [](int c, int cc, int v) { return message(0xB0 + c, cc, v); };
const auto allSoundOff = [](int c) { return message(0xB0 + c, 120); };

// A sound card whose frame f truly plays at origin + f / rate seconds and
// whose callbacks of 256 frames come up to `jitter` seconds late, `burst` at a
// time (a card with several periods per buffer asks for them together).
struct SimulatedCard {
    double rate, jitter;
    int burst;
    std::int64_t originNs = 5'000'000'000;
    std::mt19937 random{42};

    std::int64_t timeNs(double frame) const {
        return originNs + static_cast<std::int64_t>(frame / rate * 1e9);
    }
    // Feeds `seconds` of callbacks to the clock from `frame` on.
    std::int64_t run(SampleClock& clock, std::int64_t frame, double seconds) {
        std::uniform_real_distribution<double> late(0.0, jitter * 1e9);
        for (const auto end = frame + static_cast<std::int64_t>(seconds * rate); frame < end;) {
            const std::int64_t called = timeNs(static_cast<double>(frame));
            for (int i = 0; i < burst; ++i, frame += 256) {
                clock.update(called + static_cast<std::int64_t>(late(random)), frame);
            }
        }
        return frame;
    }
};

TEST(SampleClock, FollowsTheCardsFramesThroughJitterBurstsDriftAndStalls) {
    struct Case {
        const char* name;
        double ppmFast, jitter;
        int burst;
        double seconds, stall; // a stall: every later frame plays `stall` s later
        double lineOffset;     // the mean lateness: a constant latency, not an error
        double tolerance;      // seconds, over the next 50 ms
    };
    const double burstLag = 1.5 * 256 / kRate - 0.00025; // 1.5 periods behind the bursts
    const Case cases[] = {
        {"exact callbacks", 0, 0, 1, 1.0, 0, 0, 1e-6},
        {"2 ms of jitter", 0, 0.002, 1, 5.0, 0, 0.001, 0.0004},
        {"bursts of four", 0, 0.0005, 4, 5.0, 0, -burstLag, 0.0007},
        {"a card 300 ppm fast, for a whole piece", 300, 0.002, 1, 180.0, 0, 0.001, 0.0004},
        {"a 300 ms stall", 0, 0, 1, 1.0, 0.3, 0, 1e-4},
    };
    for (const Case& c : cases) {
        SampleClock clock(kRate);
        SimulatedCard card{kRate * (1.0 + c.ppmFast * 1e-6), c.jitter, c.burst};
        std::int64_t frame = card.run(clock, 0, c.seconds);
        if (c.stall > 0) {
            card.originNs += static_cast<std::int64_t>(c.stall * 1e9);
            frame = card.run(clock, frame, 0.1);
        }
        for (double at = 0.0; at <= 0.05; at += 0.005) { // seconds ahead
            const double target = static_cast<double>(frame) + at * card.rate;
            const auto time = card.timeNs(target) + static_cast<std::int64_t>(c.lineOffset * 1e9);
            EXPECT_NEAR(clock.frameAt(time), target, c.tolerance * card.rate) << c.name;
        }
    }
}

struct Applied {
    std::int64_t block;
    std::uint32_t message;
    friend bool operator==(const Applied&, const Applied&) = default;
};
using Applies = std::vector<Applied>;

// Runs the audio side over blocks [0, blocks), recording what is applied.
Applies drain(MessageScheduler& scheduler, const SampleClock& clock, int blocks = 60) {
    Applies applied;
    for (std::int64_t block = 0; block < blocks; ++block) {
        scheduler.applyDue(block * kBlock, clock, 0, [&](std::uint32_t m) {
            applied.push_back({block, m});
        });
    }
    return applied;
}

// The moment frame `frame` plays on exactClock().
SteadyClock::time_point timeOfFrame(double frame) {
    return SteadyClock::time_point(std::chrono::seconds(1000)) +
           std::chrono::nanoseconds(static_cast<std::int64_t>(frame / kRate * 1e9));
}
SampleClock exactClock() {
    SampleClock clock(kRate);
    clock.update(timeOfFrame(0.0).time_since_epoch().count(), 0);
    return clock;
}

// Sends each message with its message time (in frames) and drains 60 blocks.
Applies schedule(SchedulerConfig config, std::vector<std::pair<double, std::uint32_t>> sent) {
    MessageScheduler scheduler(config);
    for (const auto& [frame, m] : sent) {
        scheduler.setMessageTime(timeOfFrame(frame));
        scheduler.send(m);
    }
    return drain(scheduler, exactClock());
}

// Where each message lands is checked end to end below; here the rules that
// decide whether and in which order.
TEST(MessageScheduler, KeepsTheOrderSentAndDropsOnlyStaleNoteOns) {
    const SchedulerConfig now{milliseconds(0)}, late{milliseconds(20)};
    const auto on = [](int key, int velocity = 1) { return noteOn(0, key, velocity); };
    // A message due earlier than the one sent before it waits for it.
    EXPECT_EQ(schedule(now, {{10 * kBlock, on(60)}, {5 * kBlock, noteOff(0, 60)}}),
              (Applies{{10, on(60)}, {10, noteOff(0, 60)}}));
    // A second past due: note-ons are stale and dropped, all else (a velocity
    // 0 note-on is a note-off) applies at once; so does a note 0.1 s late.
    EXPECT_EQ(schedule(late, {{-kRate, programChange(0, 19)},
                              {-kRate, on(60, 100)},
                              {-kRate, on(61, 0)},
                              {-0.1 * kRate, on(63, 100)}}),
              (Applies{{0, programChange(0, 19)}, {0, on(61, 0)}, {0, on(63, 100)}}));
    // Unscheduled: at the next boundary whatever the time.
    EXPECT_EQ(schedule({milliseconds(20), false}, {{50 * kBlock, on(60)}}), (Applies{{0, on(60)}}));
}

TEST(MessageScheduler, UntilAMessageTimeIsSetMessagesBelongToTheMomentTheyAreSent) {
    // A sender that never sets a time must not have its notes dropped as
    // stale: they are due a latency (13.8 blocks) after they are sent.
    SampleClock clock(kRate);
    clock.update(SteadyClock::now().time_since_epoch().count(), 0);
    MessageScheduler scheduler(SchedulerConfig{milliseconds(20)});
    scheduler.send(noteOn(0, 60, 1));
    const Applies applied = drain(scheduler, clock, 100);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_GE(applied[0].block, 13);
}

TEST(MessageScheduler, AFullQueueKeepsInstrumentsAndControllersButDropsNotes) {
    MessageScheduler scheduler(SchedulerConfig{milliseconds(0)});
    // A full queue: two messages due now, the rest at block 10.
    for (std::size_t i = 0; i < MessageScheduler::kCapacity; ++i) {
        scheduler.setMessageTime(timeOfFrame(i < 2 ? 0.0 : 10.0 * kBlock));
        scheduler.send(noteOff(0, 1));
    }
    // The set-up of a new "Play" arrives and is kept aside, but for its note.
    for (const std::uint32_t m : {controlChange(3, 7, 90), programChange(3, 40), allSoundOff(3),
                                  programChange(3, 41), noteOn(3, 60, 100)}) {
        scheduler.send(m);
    }
    EXPECT_EQ(scheduler.pending(), MessageScheduler::kCapacity);
    // Room for two: the next send queues the first two kept messages (mode
    // messages, then the last program, then controllers); its own note is
    // dropped. Once there is room, the rest go before the next message.
    drain(scheduler, exactClock(), 1);
    scheduler.send(noteOn(3, 61, 100));
    Applies applied = drain(scheduler, exactClock(), 11);
    scheduler.send(noteOn(3, 63, 100));
    std::erase_if(applied, [](const Applied& a) { return a.message == noteOff(0, 1); });
    EXPECT_EQ(applied, (Applies{{10, allSoundOff(3)}, {10, programChange(3, 41)}}));
    EXPECT_EQ(drain(scheduler, exactClock(), 11),
              (Applies{{10, controlChange(3, 7, 90)}, {10, noteOn(3, 63, 100)}}));
    scheduler.close(); // closed: takes nothing more
    scheduler.send(programChange(0, 1));
    EXPECT_EQ(scheduler.pending(), 0u);
}

// The scheduler as the output the transport and the step player send to.
struct SchedulerOutput : MidiOutput {
    explicit SchedulerOutput(MessageScheduler& s) : scheduler(s) {}
    void send(std::uint32_t m) override { scheduler.send(m); }
    void setMessageTime(SteadyClock::time_point t) override { scheduler.setMessageTime(t); }
    MessageScheduler& scheduler;
};

class BuiltinSynthTest : public ::testing::Test {
  protected:
    void SetUp() override {
        font = findSoundFont(defaultSoundFontPaths());
        if (font.empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont installed";
        }
        ASSERT_EQ(renderer.loadSoundFont(font), "");
    }

    // Sends `messages` to sound at `frame`.
    void sendAt(double frame, std::initializer_list<std::uint32_t> messages) {
        output.setMessageTime(timeOfFrame(frame - kLatencyFrames));
        for (const std::uint32_t m : messages) {
            output.send(m);
        }
    }
    // Renders up to frame `end` in callbacks of `period` frames, keeping the
    // left channel.
    void renderTo(double end, int period = 256) {
        std::vector<float> left(static_cast<std::size_t>(period)), right(left);
        while (renderer.position() < static_cast<std::int64_t>(end)) {
            const auto n = std::min<std::int64_t>(period, static_cast<std::int64_t>(end) -
                                                              renderer.position());
            renderer.render({left.data(), right.data(), static_cast<int>(n),
                             timeOfFrame(static_cast<double>(renderer.position()))});
            audio.insert(audio.end(), left.begin(), left.begin() + n);
        }
    }
    double rms(std::int64_t from, std::int64_t to) const {
        const auto begin = audio.begin() + from, end = audio.begin() + to;
        return std::sqrt(std::inner_product(begin, end, begin, 0.0) /
                         static_cast<double>(to - from));
    }
    // The first frame at or after `from` louder than `threshold`.
    std::int64_t firstSound(std::int64_t from, float threshold) const {
        return std::find_if(audio.begin() + from, audio.end(),
                            [&](float s) { return std::abs(s) > threshold; }) -
               audio.begin();
    }

    MessageScheduler scheduler;
    SynthRenderer renderer{SynthConfig{kRate, 0.4, false}, scheduler};
    SchedulerOutput output{scheduler};
    std::vector<float> audio;
    std::string font;
};

TEST_F(BuiltinSynthTest, PlacesEachNoteAtTheBlockBoundaryNearestItsDueFrame) {
    // Sent before the first render and long past due ("Play" pressed while the
    // font loaded): these must not all fire at once.
    output.setMessageTime(timeOfFrame(-2 * kRate));
    for (int key = 40; key < 80; ++key) {
        output.send(noteOn(0, key, 100));
    }
    // Hits 8192 frames apart, each `offset` frames after a boundary; the first,
    // on a boundary, gives the delay from a note's first block to its first
    // audible frame (taken where the attack has clearly begun).
    const double offsets[] = {0.0, 1.0, 17.5, 31.0, 31.9, 32.1, 40.0, 63.0};
    for (std::size_t i = 0; i < std::size(offsets); ++i) {
        const double due = 8192.0 * static_cast<double>(i + 1) + offsets[i];
        sendAt(due, {noteOn(9, 76, 127)}); // a high wood block
        sendAt(due + 4000.0, {allSoundOff(9)});
    }
    renderTo(8192.0 * 9, 97); // callbacks that straddle the render blocks
    const std::int64_t delay = firstSound(0, 1e-3f) - 8192;
    ASSERT_GE(delay, 0);
    ASSERT_LT(delay, 4 * kBlock);
    for (std::size_t i = 0; i < std::size(offsets); ++i) {
        const double due = 8192.0 * static_cast<double>(i + 1) + offsets[i];
        const std::int64_t onset = firstSound(static_cast<std::int64_t>(due) - 1000, 1e-3f);
        EXPECT_EQ(onset - delay, std::llround(due / kBlock) * kBlock) << "due at " << due;
    }
}

TEST_F(BuiltinSynthTest, ANoteOffRightAfterANoteOnOfTheSameKeyEndsIt) {
    // Voice 2 strikes a key and the harmony's note-off for that key follows in
    // the same tick: the note ends at once. In the other order it is held.
    sendAt(0.0, {programChange(1, 16)}); // drawbar organ: sustains while held, stops at once
    sendAt(4410.0, {noteOn(1, 60, 100), noteOff(1, 60)});
    sendAt(88200.0, {noteOff(1, 60), noteOn(1, 60, 100)});
    renderTo(176400);
    EXPECT_LT(rms(4410 + 11025, 4410 + 22050), 1e-4);
    EXPECT_GT(rms(88200 + 22050, 88200 + 44100), 1e-2);
}

TEST_F(BuiltinSynthTest, APlayedPieceIsHeardAndFallsSilentAtStop) {
    // "Play" with the start values (every drum slot "Silence"), 24 ticks on the
    // step grid (175 ms each), "Stop" half a step after the last.
    RandomGenerator random(31337);
    SongSettings settings;
    applyStartValues(settings, random);
    settings.instrument = {0, 48, 32}; // piano, strings, bass
    Score score;
    generateScore(settings, score);
    PlayState state;
    ManualStepTimer timer;
    const double step = settings.stepMs * kRate / 1000.0;
    const auto at = [&](double frame) { // a tick of the timer, on time
        renderTo(frame);
        output.setMessageTime(timeOfFrame(frame));
    };
    at(0.0);
    startPlayback(settings, score, state, output, timer);
    for (int k = 1; k <= 24; ++k) {
        at(k * step);
        playStep(state, score, settings, random, output);
    }
    at(24.5 * step);
    stopPlayback(output, timer);
    renderTo(24.5 * step + kRate);

    const auto stop = static_cast<std::int64_t>(24.5 * step + kLatencyFrames);
    for (std::int64_t second = 0; second + 44100 <= stop; second += 44100) {
        EXPECT_GT(rms(second, second + 44100), 1e-3) << "second at frame " << second;
    }
    EXPECT_GT(rms(stop - 4410, stop), 1e-3);
    // All Sound Off cuts every voice within a render block: with no drums and
    // no reverb, nothing at all follows.
    EXPECT_LT(rms(stop + 2 * kBlock, static_cast<std::int64_t>(audio.size())), 1e-7);
}

// Options whose only working audio driver is a stand-in card, if `card`; the
// source it plays is in `source` while it is open.
BuiltinSynthOptions withCard(AudioSource*& source, bool card = true) {
    struct Sink : AudioSink {
        explicit Sink(AudioSource*& s) : source(s) {}
        ~Sink() override { source = nullptr; }
        double sampleRate() const override { return kRate; }
        std::chrono::nanoseconds latency() const override { return {}; }
        AudioSource*& source;
    };
    BuiltinSynthOptions options;
    options.drivers = {"pulseaudio", "card"};
    options.openSink = [&source, card](std::string_view driver, double,
                                       AudioSource& played) -> std::unique_ptr<AudioSink> {
        if (!card || driver != "card") {
            return nullptr;
        }
        source = &played;
        return std::make_unique<Sink>(source);
    };
    return options;
}

TEST_F(BuiltinSynthTest, PlaysThroughTheFirstDriverThatOpensOrIsSilentAndSaysWhy) {
    const std::string notAFont = ::testing::TempDir() + "tarnwick-not-a-font.sf2";
    std::ofstream(notAFont) << "RIFF but not a SoundFont";
    const std::vector<std::tuple<bool, std::string, std::string>> cases = {
        {true, "", "Built-in synthesiser: " + soundFontDisplayName(font) + " (card)"},
        {false, "", "No sound: no audio device could be opened (pulseaudio, alsa, jack, sdl2)"},
        {true, "/nonexistent/x.sf2", "No sound: cannot read the SoundFont /nonexistent/x.sf2"},
        {true, notAFont, "No sound: the SoundFont " + notAFont + " could not be loaded"},
    };
    for (const auto& [card, path, status] : cases) {
        AudioSource* source = nullptr;
        BuiltinSynthOptions options = withCard(source, card);
        options.soundFont = path;
        BuiltinSynthOutput synth(options);
        synth.send(programChange(0, 19)); // while it opens: waits, or does nothing
        ASSERT_TRUE(synth.waitUntilOpen(std::chrono::seconds(60)));
        EXPECT_EQ(synth.status(), status);
        EXPECT_EQ(synth.isSilent(), source == nullptr) << status; // closed if silent
        synth.setMessageTime(SteadyClock::now() - std::chrono::milliseconds(20));
        synth.send(noteOn(0, 64, 100));
        std::vector<float> left(256), right(256);
        float peak = 0.0f;
        const auto start = SteadyClock::now();
        for (int period = 0; period < 86 && source; ++period) { // half a second
            source->render({left.data(), right.data(), 256,
                            start + milliseconds(period * 256 * 1000) / 44100});
            peak = std::max(peak, *std::max_element(left.begin(), left.end()));
        }
        EXPECT_EQ(peak > 0.01f, !synth.isSilent()) << status;
    }
    std::remove(notAFont.c_str());
}

TEST_F(BuiltinSynthTest, CanBeClosedWhileItIsStillOpening) {
    AudioSource* card = nullptr;
    auto synth = std::make_unique<BuiltinSynthOutput>(withCard(card));
    synth->send(noteOn(0, 60, 100));
    synth.reset();
    EXPECT_EQ(card, nullptr);
}

} // namespace
} // namespace tarnwick
