// The built-in synthesiser: the clock that maps time onto the audio stream's
// frames, the queue that hands messages to the audio thread at the render
// block nearest their due frame, and the real SoundFont rendered into memory
// by a perfectly regular stand-in sound card (this machine has none), so
// timing is checked to the frame; and opened as the window does.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "outputs/builtin_synth_output.h"
#include "outputs/soundfont_locator.h"

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

TEST(SampleClock, FollowsTheCardsFramesThroughJitterBurstsDriftAndStalls) {
    // A card whose frame f plays at origin + f / rate seconds; its callbacks
    // of 256 frames come up to `jitter` s late, `burst` at a time (a card with
    // several periods per buffer asks for them together). After a stall every
    // frame plays `stall` s later. `tolerance`: in seconds, over the next 50 ms.
    const struct {
        const char* name;
        double ppmFast, jitter;
        int burst;
        double seconds, stall, tolerance;
    } cases[] = {
        {"exact callbacks", 0, 0, 1, 1.0, 0, 1e-6},
        {"2 ms of jitter", 0, 0.002, 1, 5.0, 0, 0.0004},
        {"bursts of four", 0, 0.0005, 4, 5.0, 0, 0.0007},
        {"a card 300 ppm fast, for a whole piece", 300, 0.002, 1, 180.0, 0, 0.0004},
        {"a 300 ms stall", 0, 0, 1, 1.0, 0.3, 1e-4},
    };
    for (const auto& c : cases) {
        const double rate = kRate * (1.0 + c.ppmFast * 1e-6);
        std::int64_t originNs = 5'000'000'000;
        const auto timeNs = [&](double f) { return originNs + std::llround(f / rate * 1e9); };
        std::mt19937 random(42);
        std::uniform_real_distribution<double> late(0.0, c.jitter * 1e9);
        SampleClock clock(kRate);
        std::int64_t frame = 0;
        const auto run = [&](double seconds) {
            for (const auto end = frame + std::llround(seconds * rate); frame < end;) {
                const std::int64_t called = timeNs(static_cast<double>(frame));
                for (int i = 0; i < c.burst; ++i, frame += 256) {
                    clock.update(called + std::llround(late(random)), frame);
                }
            }
        };
        run(c.seconds);
        if (c.stall > 0) {
            originNs += std::llround(c.stall * 1e9);
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

// The block and the message the audio side applied.
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

// The moment frame `frame` plays on exactClock().
SteadyClock::time_point timeOfFrame(double frame) {
    return SteadyClock::time_point(std::chrono::seconds(1000)) +
           std::chrono::nanoseconds(std::llround(frame / kRate * 1e9));
}
SampleClock exactClock() {
    SampleClock clock(kRate);
    clock.update(timeOfFrame(0.0).time_since_epoch().count(), 0);
    return clock;
}

// Where each message lands is checked end to end below; here the rules that
// decide whether and in which order.
TEST(MessageScheduler, KeepsTheOrderSentAndDropsOnlyStaleNoteOns) {
    // Each message with its message time in frames. A second past due,
    // note-ons are stale and dropped, all else (a velocity 0 note-on is a
    // note-off) applies at once; so does a note 0.1 s late. A message due
    // earlier than the one sent before it waits for it.
    const std::pair<double, std::uint32_t> sent[] = {
        {-kRate, msg(0xC0, 19)},         {-kRate, msg(0x90, 60, 100)},
        {-kRate, msg(0x90, 61, 0)},      {-0.1 * kRate, msg(0x90, 63, 100)},
        {10 * kBlock, msg(0x90, 60, 1)}, {5 * kBlock, msg(0x80, 60)}};
    MessageScheduler scheduler(SchedulerConfig{milliseconds(0)});
    for (const auto& [frame, m] : sent) {
        scheduler.setMessageTime(timeOfFrame(frame));
        scheduler.send(m);
    }
    EXPECT_EQ(drain(scheduler, exactClock()), (Applies{{0, msg(0xC0, 19)},
                                                       {0, msg(0x90, 61, 0)},
                                                       {0, msg(0x90, 63, 100)},
                                                       {10, msg(0x90, 60, 1)},
                                                       {10, msg(0x80, 60)}}));
    // Until a message time is set, a message is due a latency (13.8 blocks)
    // after it is sent, not dropped as stale.
    SampleClock clock(kRate);
    clock.update(SteadyClock::now().time_since_epoch().count(), 0);
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
        scheduler.setMessageTime(timeOfFrame(i < 2 ? 0.0 : 10.0 * kBlock));
        scheduler.send(msg(0x80, 1));
    }
    // The set-up of a new "Play" arrives and is kept aside, but for its note.
    for (const std::uint32_t m :
         {msg(0xB3, 7, 90), msg(0xC3, 40), msg(0xB3, 120), msg(0xC3, 41), msg(0x93, 60, 100)}) {
        scheduler.send(m);
    }
    EXPECT_EQ(scheduler.pending(), MessageScheduler::kCapacity);
    // Room for two: the next send queues the first two kept messages (mode
    // messages, then the last program, then controllers); its own note is
    // dropped. Once there is room, the rest go before the next message.
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

// The synthesiser with the real SoundFont, rendered into memory (left channel).
class BuiltinSynthTest : public ::testing::Test {
  protected:
    void SetUp() override {
        font = findSoundFont(defaultSoundFontPaths());
        if (font.empty()) {
            GTEST_SKIP() << "no General MIDI SoundFont installed";
        }
        ASSERT_EQ(renderer.loadSoundFont(font), "");
    }

    // Sends `messages` to sound at `frame`, a latency after their time.
    void sendAt(double frame, std::initializer_list<std::uint32_t> messages) {
        const double latency = std::chrono::duration<double>(SchedulerConfig{}.latency).count();
        scheduler.setMessageTime(timeOfFrame(frame - latency * kRate));
        for (const std::uint32_t m : messages) {
            scheduler.send(m);
        }
    }
    // Renders up to frame `end` in callbacks of `period` frames.
    void renderTo(std::int64_t end, int period = 256) {
        std::vector<float> left(static_cast<std::size_t>(period)), right(left);
        while (renderer.position() < end) {
            const auto n = std::min<std::int64_t>(period, end - renderer.position());
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
    // The first frame at or after `from` that is clearly not silent.
    std::int64_t firstSound(std::int64_t from) const {
        return std::find_if(audio.begin() + from, audio.end(),
                            [](float s) { return std::abs(s) > 1e-3f; }) -
               audio.begin();
    }

    MessageScheduler scheduler;
    SynthRenderer renderer{SynthConfig{kRate, 0.4, false}, scheduler};
    std::vector<float> audio;
    std::string font;
};

TEST_F(BuiltinSynthTest, PlacesEachNoteAtTheBlockBoundaryNearestItsDueFrame) {
    // Sent before the first render and long past due ("Play" pressed while the
    // font loaded): these must not all fire at once.
    scheduler.setMessageTime(timeOfFrame(-2 * kRate));
    for (int key = 40; key < 80; ++key) {
        scheduler.send(msg(0x90, key, 100));
    }
    // Wood block hits 8192 frames apart, each `offset` frames after a
    // boundary; the first, on a boundary, gives the delay from a note's first
    // block to its first audible frame.
    const double offsets[] = {0.0, 1.0, 17.5, 31.0, 31.9, 32.1, 40.0, 63.0};
    const auto due = [&](std::size_t i) {
        return 8192.0 * static_cast<double>(i + 1) + offsets[i];
    };
    for (std::size_t i = 0; i < std::size(offsets); ++i) {
        sendAt(due(i), {msg(0x99, 76, 127)});
        sendAt(due(i) + 4000.0, {msg(0xB9, 120)});
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
    // Voice 2 strikes a key and the harmony's note-off for that key follows in
    // the same tick: the note ends at once. In the other order it is held,
    // until All Sound Off silences it within a render block.
    sendAt(0.0, {msg(0xC1, 16)}); // drawbar organ: sustains while held, stops at once
    sendAt(4410.0, {msg(0x91, 60, 100), msg(0x81, 60)});
    sendAt(88200.0, {msg(0x81, 60), msg(0x91, 60, 100)});
    sendAt(176400.0, {msg(0xB1, 120)});
    renderTo(220500);
    EXPECT_LT(rms(4410 + 11025, 4410 + 22050), 1e-4);
    EXPECT_GT(rms(88200 + 22050, 88200 + 44100), 1e-2);
    EXPECT_LT(rms(176400 + 2 * kBlock, 220500), 1e-7);
}

TEST_F(BuiltinSynthTest, PlaysThroughTheFirstDriverThatOpensOrIsSilentAndSaysWhy) {
    // The stand-in card, the only driver that opens (when `card`); the source
    // it plays is kept while it is open.
    struct Card : AudioSink {
        explicit Card(AudioSource*& s) : source(s) {}
        ~Card() override { source = nullptr; }
        double sampleRate() const override { return kRate; }
        std::chrono::nanoseconds latency() const override { return {}; }
        AudioSource*& source;
    };
    const auto withCard = [](AudioSource*& source, bool card, const std::string& path) {
        BuiltinSynthOptions options;
        options.soundFont = path;
        options.drivers = {"pulseaudio", "card"};
        options.openSink = [&source, card](std::string_view driver, double,
                                           AudioSource& played) -> std::unique_ptr<AudioSink> {
            if (!card || driver != "card") {
                return nullptr;
            }
            source = &played;
            return std::make_unique<Card>(source);
        };
        return options;
    };
    AudioSource* closing = nullptr;
    std::make_unique<BuiltinSynthOutput>(withCard(closing, true, ""))->send(msg(0x90, 60, 100));
    EXPECT_EQ(closing, nullptr); // closed while still opening

    const std::string notAFont = ::testing::TempDir() + "tarnwick-not-a-font.sf2";
    std::ofstream(notAFont) << "RIFF but not a SoundFont";
    const std::tuple<bool, std::string, std::string> cases[] = {
        {true, "", "Built-in synthesiser: " + soundFontDisplayName(font) + " (card)"},
        {false, "", "No sound: no audio device could be opened (pulseaudio, alsa, jack, sdl2)"},
        {true, "/nonexistent/x.sf2", "No sound: cannot read the SoundFont /nonexistent/x.sf2"},
        {true, notAFont, "No sound: the SoundFont " + notAFont + " could not be loaded"},
    };
    for (const auto& [card, path, status] : cases) {
        AudioSource* source = nullptr;
        BuiltinSynthOutput synth(withCard(source, card, path));
        synth.send(msg(0xC0, 19)); // while it opens: waits, or does nothing
        ASSERT_TRUE(synth.waitUntilOpen(std::chrono::seconds(60)));
        EXPECT_EQ(synth.status(), status);
        EXPECT_EQ(synth.isSilent(), source == nullptr) << status; // closed if silent
        // A note sent now is heard through the card within half a second.
        synth.setMessageTime(SteadyClock::now() - std::chrono::milliseconds(20));
        synth.send(msg(0x90, 64, 100));
        std::vector<float> left(256), right(256);
        float peak = 0.0f;
        const auto start = SteadyClock::now();
        for (int period = 0; period < 86 && source != nullptr; ++period) {
            source->render({left.data(), right.data(), 256,
                            start + std::chrono::milliseconds(period * 256 * 1000) / 44100});
            peak = std::max(peak, *std::max_element(left.begin(), left.end()));
        }
        EXPECT_EQ(peak > 0.01f, !synth.isSilent()) << status;
    }
    std::remove(notAFont.c_str());
}

} // namespace
} // namespace tarnwick
