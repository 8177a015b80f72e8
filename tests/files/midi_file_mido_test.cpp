// A MIDI parser of its own (python3-mido) reads the files we write; its notes,
// times, programs, controllers and tempo must agree with the event list.

#include <cstdio>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "playback/midi_output.h"
#include "playback/transport.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

std::string readWithMido(const std::string& path) {
    const std::string command =
        "/usr/bin/python3 " TARNWICK_TEST_SOURCE_DIR "/files/mido_dump.py '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
    }
    EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << output;
    return output;
}

// What mido should print for the file of these settings and events: one
// tick per millisecond, so each event's tick is its time in milliseconds.
std::string expectedView(const SongSettings& s, const std::vector<MidiEvent>& events) {
    const MidiTiming timing = midiTiming(s.stepMs);
    EXPECT_EQ(timing.tempoMicros, timing.division * 1000u);
    std::string text = "header 1 " + std::to_string(timing.division) + " 1\n" + "tempo " +
                       std::to_string(timing.tempoMicros) + "\nmeter 4 4 24 8\n";
    for (std::size_t k = 0; k < 3; ++k) {
        text += "program " + std::to_string(k) + " " + std::to_string(s.instrument[k]) + "\n";
        if (s.modulation[k] != 0) {
            text += "control " + std::to_string(k) + " 1 63\n";
        }
    }
    for (const MidiEvent& e : events) {
        text += "note " + std::to_string(e.timeMs) + " " +
                std::to_string(messageStatus(e.message)) + " " +
                std::to_string(messageData1(e.message)) + " " +
                std::to_string(messageData2(e.message)) + "\n";
    }
    return text + "end " + std::to_string(events.empty() ? 0 : events.back().timeMs) + "\n";
}

// Start values from the seed, changed by `adjust`; then the score, the
// export, and mido's reading of the file.
template <typename Adjust>
void checkWithMido(std::uint32_t seed, Adjust adjust) {
    RandomGenerator random(seed);
    SongSettings s;
    applyStartValues(s, random);
    adjust(s);
    Score score;
    generateScore(s, score);
    fillDrumNotes(s, score);
    const std::vector<MidiEvent> events = buildMidiEvents(s, score, random);
    ASSERT_GT(events.size(), 100u);
    testing::TempDir dir;
    ASSERT_TRUE(writeMidiFile(dir.file("export.mid"), s, events).ok());
    EXPECT_EQ(readWithMido(dir.file("export.mid")), expectedView(s, events));
}

TEST(MidoReadsOurFiles, AtTheStartValues) {
    checkWithMido(11, [](SongSettings&) {});
}

TEST(MidoReadsOurFiles, WithEveryLineBusyAndModulation) {
    checkWithMido(12, [](SongSettings& s) {
        s.hold = {0, 0, 0};
        s.harmonyOffset = 4;
        s.beatLength = 1;
        s.drumKit = {9, 16, 40, 1, 61, 0, 20, 30};
        s.instrument = {127, 40, 73};
        s.modulation = {1, 0, 1};
        s.scaleIndex = 18;
    });
}

TEST(MidoReadsOurFiles, WithStepsLongerThanTheTempoFieldAllows) {
    for (const std::int32_t stepMs : {2098, 5000, 20000, 262400}) {
        checkWithMido(13, [&](SongSettings& s) {
            s.stepMs = stepMs;
            s.drumKit = {9, 16, 0, 0, 0, 0, 0, 0};
        });
    }
}

} // namespace
} // namespace tarnwick
