#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "midi/recording_output.h"
#include "playback/manual_step_timer.h"
#include "playback/output_state.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
#include "playback/tick_grid.h"
#include "playback/transport.h"
#include "tests/support/message_text.h"

namespace tarnwick {
namespace {

using Texts = std::vector<std::string>;

std::string hex(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// A performance pumped by hand; `replay` follows the player's generator.
struct Performance {
    SongSettings settings{.volume = {90, 80, 70}};
    Score score;
    PlayState state;
    RandomGenerator random{77};
    RandomGenerator replay{77};
    RecordingOutput output;
    ManualStepTimer timer;

    Texts sent() {
        Texts result;
        std::ranges::transform(output.messages, std::back_inserter(result), testing::messageText);
        output.messages.clear();
        return result;
    }
    Texts start() {
        startPlayback(settings, score, state, output, timer);
        return sent();
    }
    Texts tick() {
        playStep(state, score, settings, random, output);
        return sent();
    }
    std::string velocity(int base) { return hex(base + randBelow(replay, 32)); }
};

// Each channel silenced and set up, counters reset, timer set; Stop silences.
TEST(Transport, StartAndStop) {
    Performance p;
    p.settings.instrument = {200, 40, 127}; // kept in a data byte
    p.settings.modulation = {0, 1, 0};
    p.settings.portamento = {1, 0, 5}; // any non-zero value counts as set
    p.settings.beatLength = 7;
    p.settings.stepMs = 133;
    p.settings.drumKit = {0, 1, 61, 62, -1, 9, 2147483647, 30};
    p.state = {517, 3, 5, {60, 61, 62, 63}};
    // All sound off, program, wheel, portamento on (time 63, from note 1) or off.
    EXPECT_EQ(p.start(),
              (Texts{"B0 78 00", "C0 7F 00", "B0 01 00", "B0 41 01", "B0 05 3F", "B0 54 01",
                     "B1 78 00", "C1 28 00", "B1 01 3F", "B1 41 00", "B2 78 00", "C2 7F 00",
                     "B2 01 00", "B2 41 01", "B2 05 3F", "B2 54 01"}));
    EXPECT_EQ(p.state, (PlayState{0, 7, 0, {60, 61, 62, 63}}));
    EXPECT_TRUE(p.timer.running);
    EXPECT_EQ(p.timer.period, 133);
    // Entries outside the drum table give no hit.
    EXPECT_EQ(p.score.drumNotes, (std::array<NoteByte, 8>{0, 27, 87, 0, 0, 35, 0, 56}));
    for (int i = 0; i < 2; ++i) {
        stopPlayback(p.output, p.timer);
        EXPECT_FALSE(p.timer.running);
        EXPECT_EQ(p.sent(), (Texts{"B0 78 00", "B1 78 00", "B2 78 00"}));
    }
}

// Each line ends its last note unless held; the harmony plays as voice 2 does.
TEST(PlayStep, FirstTickPlaysEveryLineInOrderThenDrumSlotZero) {
    Performance p;
    p.settings.harmonyOffset = 4;
    p.settings.hold = {0, 0, 1};
    p.settings.drumKit[0] = 9; // key 35
    p.score.voice1Notes[0] = 72;
    p.score.voice2Notes[0] = 60;
    p.score.harmonyNotes[0] = 64;
    p.score.voice3Notes[0] = 48;
    p.state.lastNote = {1, 2, 3, 4};
    p.start();
    EXPECT_EQ(p.tick(), (Texts{"80 01 00", "90 48 " + p.velocity(90), "81 02 00",
                               "91 3C " + p.velocity(80), "81 04 00", "91 40 " + p.velocity(80),
                               "92 30 " + p.velocity(70), "99 23 " + p.velocity(60)}));
    EXPECT_EQ(p.state.lastNote, (std::array<std::int32_t, 4>{72, 60, 3, 64}));
}

// Rests, entries above 127 and harmony offset 0 send and draw nothing; 1023 wraps.
TEST(PlayStep, RestsSendAndDrawNothingAndTheLastStepWrapsToTheFirst) {
    Performance p;
    p.score.voice1Notes[0] = 128;
    p.score.voice2Notes[0] = 200;
    p.score.harmonyNotes[0] = 60;
    p.score.voice1Notes[1023] = 70;
    p.state.lastNote = {1, 2, 3, 4};
    p.start();
    p.score.drumNotes[0] = 130;
    EXPECT_EQ(p.tick(), Texts{});
    randBelow(p.replay, 32); // only the drum velocity is drawn, even for a silent hit
    EXPECT_EQ(p.random.state(), p.replay.state());
    EXPECT_EQ(p.state.lastNote, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    p.state.playPosition = 1023;
    EXPECT_EQ(p.tick()[1].substr(0, 5), "90 46");
    p.tick();
    EXPECT_EQ(p.state.playPosition, 1);
}

// The beat counts ticks across the wrap: 1024 = 146 * 7 + 2, so 5, 12, 19, ...
TEST(PlayStep, DrumBeatCountsTicksAcrossTheWrap) {
    Performance p;
    p.settings.beatLength = 7;
    p.settings.drumKit.fill(9);
    p.start();
    std::vector<int> steps;
    for (int i = 0; i < 2 * kStepCount; ++i) {
        const int step = p.state.playPosition % kStepCount;
        if (!p.tick().empty()) {
            steps.push_back(step);
        }
    }
    EXPECT_EQ((std::vector<int>(steps.begin(), steps.begin() + 3)), (std::vector<int>{0, 7, 14}));
    EXPECT_EQ((std::vector<int>(steps.begin() + 147, steps.begin() + 150)),
              (std::vector<int>{5, 12, 19}));
}

// Eight hits play slots 0, 1, then six drawn ones; a beat made smaller strikes next.
TEST(PlayStep, DrumCycleStrikesSlotsZeroAndOneThenDrawsSix) {
    Performance p;
    p.settings.beatLength = 1;
    p.settings.drumKit = {1, 2, 0, 4, 5, 6, 7, 8};
    p.start();
    for (int hit = 0; hit < 24; ++hit) {
        const std::string velocity = p.velocity(60);
        const int slot = hit % 8 < 2 ? hit % 8 : randBelow(p.replay, 8);
        const Texts expected = slot == 2 ? Texts{} : Texts{"99 " + hex(27 + slot) + " " + velocity};
        EXPECT_EQ(p.tick(), expected) << "hit " << hit;
    }
    p.settings.beatLength = 3;
    p.state.beatCounter = 5;
    EXPECT_EQ(p.tick().size(), 1u);
}

// The export is the first pass: the same messages and draws, at step * step length.
TEST(PlayStep, TheFirstPassIsTheExportsEventList) {
    Performance p;
    randomiseAll(p.settings, p.random);
    p.settings.scaleIndex = 3;
    p.settings.harmonyOffset = -5;
    p.settings.hold[1] = 1;
    p.settings.beatLength = 3;
    p.settings.volume = {200, 50, 2147483647};
    p.settings.drumVolume = -2147483647 - 1;
    generateScore(p.settings, p.score);
    p.start();
    RandomGenerator exportRandom = p.random;
    std::vector<MidiEvent> performed;
    for (std::int64_t step = 0; step < kStepCount; ++step) {
        playStep(p.state, p.score, p.settings, p.random, p.output);
        for (const std::uint32_t message : p.output.messages) {
            performed.push_back({step * p.settings.stepMs, message});
        }
        p.output.messages.clear();
    }
    EXPECT_EQ(buildMidiEvents(p.settings, p.score, exportRandom), performed);
}

// Every state an output reports, worded for the window's status line and --play's standard error;
// a silent one's text follows "No sound: " and completes the note on a remembered output too.
TEST(OutputState, IsWordedForTheStatusLine) {
    using C = OutputCause;
    using P = OutputPath;
    using S = OutputState;
    const auto n = [](C cause, std::string detail = {}) { return S::silent(cause, detail); };
    S noVirtual = n(C::NoVirtualPort);
    noVirtual.parts = {n(C::NoJackServer), n(C::MidiSystemError, "Q")};
    S noPort = n(C::NoMidiPort);
    noPort.parts = {n(C::NoAlsaSequencer), n(C::NoPipeWireServer)};
    const std::pair<S, std::string> cases[] = {
        // clang-format off
        {S::opening("GM"), "Built-in synthesiser: loading GM"},
        {S::playing(P::BuiltinSynth, "GM", "alsa"), "Built-in synthesiser: GM (alsa)"},
        {S::playing(P::MidiPort, "K"), "MIDI port: K"},
        {S::playing(P::MidiPort, "a:in", "JACK"), "MIDI port: a:in (JACK)"},
        {S::playing(P::VirtualPort, "T", "ALSA"), "Virtual MIDI port: T (ALSA)"},
        {S::playing(P::Trace, {}), "Trace: every message written to the output"},
        {S::several({n(C::JackServerStopped), S::playing(P::MidiPort, "K")}),
         "No sound: the JACK server has stopped; MIDI port: K"},
        {S::interrupted(C::SoundServerGone, "pulse"), "the sound server went away (pulse)"},
        {S::interrupted(C::AudioDeviceStopped, "alsa"), "the audio device stopped playing (alsa)"},
        {n(C::NoSoundFont), "no General MIDI SoundFont found (install fluid-soundfont-gm)"},
        {n(C::NoAudioDevice, "a, b"), "no audio device could be opened (a, b)"},
        {n(C::NoMidiSystem), "no MIDI system is available (no ALSA sequencer, no JACK server)"},
        {n(C::AmbiguousPort, "K"), "more than one MIDI port matches 'K'"},
        {n(C::PortNotOpened, "K"), "the MIDI port 'K' could not be opened"},
        {n(C::JackRefusedClient), "the JACK server refused a client"},
        {n(C::JackNotActivated), "the JACK client could not be activated"},
        {n(C::JackNotConnected, "K"), "could not connect to the MIDI port 'K'"},
        {n(C::UnreadableSoundFont, "F"), "cannot read the SoundFont F"},
        {noVirtual, "no virtual MIDI port could be made (no JACK server is running, Q): it needs "
                    "a JACK or PipeWire server, or the ALSA sequencer (modprobe snd-seq)"},
        {noPort, "no MIDI port can be listed (no ALSA sequencer, no PipeWire server is running): "
                 "MIDI ports need a JACK or PipeWire server, or the ALSA sequencer (modprobe snd-seq)"},
        {n(C::PipeWireServerStopped), "the PipeWire server has stopped"},
        {n(C::OutputNone), "the output is none"}, {n(C::NoAlsaSequencer), "no ALSA sequencer"},
        {n(C::SynthesiserFailed, "Q"), "Q"}, {n(C::JackGaveNoPort), "JACK gave no MIDI port"},
        {n(C::MidiSystemError, "Q"), "Q"}, {n(C::JackServerStopped), "the JACK server has stopped"},
        {n(C::NoSuchOutput, "X"), "there is no output called 'X'"},
        {n(C::NoSuchPort, "K"), "no MIDI port called 'K'"},
        {n(C::NoJackServer), "no JACK server is running"},
        {n(C::PortGone, "K"), "the MIDI port K has gone"}};
    // clang-format on
    for (const auto& [state, text] : cases) {
        EXPECT_EQ(statusLine(state), (state.cause == C::None ? "" : "No sound: ") + text);
        EXPECT_EQ(silenceReason(state), state.cause == C::None ? "" : text);
    }
}

// Arrival, ideal time: a tick a whole period late (one missed) restarts the grid.
TEST(TickGrid, TicksBelongToTheStartPlusWholePeriodsUntilOneIsMissed) {
    using std::chrono::milliseconds;
    const SteadyClock::time_point start{std::chrono::seconds(100)};
    TickGrid grid;
    grid.start(start, milliseconds(100));
    const std::pair<int, int> ticks[] = {{100, 100}, {203, 200}, {399, 300},
                                         {399, 400}, {600, 600}, {706, 700}};
    for (const auto& [arrived, ideal] : ticks) {
        EXPECT_EQ(grid.tick(start + milliseconds(arrived)), start + milliseconds(ideal))
            << arrived << " ms";
    }
}

} // namespace
} // namespace tarnwick
