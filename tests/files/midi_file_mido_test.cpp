// A MIDI parser of its own (python3-mido) reads the files we write; its notes,
// times, programs and tempo must agree with the event list.

#include <cstdio>
#include <sstream>

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

struct MidoView {
    int type = -1;
    int ticksPerBeat = 0;
    int tracks = 0;
    long tempo = 0;
    std::vector<std::pair<int, int>> programs;
    std::vector<std::string> controls;
    std::vector<MidiEvent> notes;
    long endTicks = -1;
};

MidoView readWithMido(const std::string& path) {
    const std::string command =
        "/usr/bin/python3 " TARNWICK_TEST_SOURCE_DIR "/files/mido_dump.py '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << output;

    MidoView view;
    std::istringstream lines(output);
    for (std::string kind; lines >> kind;) {
        if (kind == "header") {
            lines >> view.type >> view.ticksPerBeat >> view.tracks;
        } else if (kind == "tempo") {
            lines >> view.tempo;
        } else if (kind == "program") {
            int channel = 0;
            int program = 0;
            lines >> channel >> program;
            view.programs.emplace_back(channel, program);
        } else if (kind == "control") {
            int channel = 0, control = 0, value = 0;
            lines >> channel >> control >> value;
            view.controls.push_back(std::to_string(channel) + ":" + std::to_string(control) + "=" +
                                    std::to_string(value));
        } else if (kind == "note") {
            std::int64_t ticks = 0;
            unsigned status = 0, note = 0, velocity = 0;
            lines >> ticks >> status >> note >> velocity;
            view.notes.push_back(
                {ticks, static_cast<std::uint32_t>(status | note << 8 | velocity << 16)});
        } else if (kind == "end") {
            lines >> view.endTicks;
        } else {
            ADD_FAILURE() << "unexpected output: " << output;
            break;
        }
    }
    return view;
}

class MidoReadsOurFiles : public ::testing::Test {
  protected:
    // Generates the score for the settings, exports it, and checks mido's view
    // against the event list.
    void check(const SongSettings& settings, std::uint32_t seed) {
        Score score;
        generateScore(settings, score);
        fillDrumNotes(settings, score);
        RandomGenerator random(seed);
        const std::vector<MidiEvent> events = buildMidiEvents(settings, score, random);
        ASSERT_FALSE(events.empty());
        const std::string path = dir.file("export.mid");
        ASSERT_TRUE(writeMidiFile(path, settings, events).ok());

        const MidoView view = readWithMido(path);
        EXPECT_EQ(view.type, 1);
        EXPECT_EQ(view.tracks, 1);
        ASSERT_GT(view.ticksPerBeat, 0);
        EXPECT_EQ(view.tempo / view.ticksPerBeat, 1000) << "one tick per millisecond";
        EXPECT_EQ(view.tempo % view.ticksPerBeat, 0);
        EXPECT_EQ(view.programs, (std::vector<std::pair<int, int>>{{0, settings.instrument[0]},
                                                                   {1, settings.instrument[1]},
                                                                   {2, settings.instrument[2]}}));
        std::vector<std::string> modulation;
        for (int k = 0; k < 3; ++k) {
            if (settings.modulation[static_cast<std::size_t>(k)] != 0) {
                modulation.push_back(std::to_string(k) + ":1=63");
            }
        }
        EXPECT_EQ(view.controls, modulation);
        EXPECT_EQ(view.notes, events);
        EXPECT_EQ(view.endTicks, events.back().timeMs);
    }

    testing::TempDir dir;
};

TEST_F(MidoReadsOurFiles, AtTheStartValues) {
    RandomGenerator random(11);
    SongSettings s;
    applyStartValues(s, random);
    check(s, 11);
}

TEST_F(MidoReadsOurFiles, WithEveryLineBusyAndModulation) {
    RandomGenerator random(12);
    SongSettings s;
    applyStartValues(s, random);
    s.hold = {0, 0, 0};
    s.harmonyOffset = 4;
    s.beatLength = 1;
    s.drumKit = {9, 16, 40, 1, 61, 0, 20, 30};
    s.instrument = {127, 40, 73};
    s.modulation = {1, 0, 1};
    s.scaleIndex = 18;
    check(s, 12);
}

TEST_F(MidoReadsOurFiles, WithStepsLongerThanTheTempoFieldAllows) {
    for (const std::int32_t stepMs : {2098, 5000, 20000, 262400}) {
        RandomGenerator random(13);
        SongSettings s;
        applyStartValues(s, random);
        s.stepMs = stepMs;
        s.drumKit = {9, 16, 0, 0, 0, 0, 0, 0};
        check(s, 13);
    }
}

} // namespace
} // namespace tarnwick
