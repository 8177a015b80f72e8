// The export: the event list (a rest still draws its velocity), then the file.

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "midi/midi_output.h"
#include "playback/transport.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<MidiEvent>;
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

// Voice 1 holds, the others rest; a beat below 1 is 1, so every step draws a drum.
TEST(MidiEvents, RestsDrawTheirVelocityAndNothingOverflows) {
    Score score;
    score.voice1Notes.fill(60);
    score.drumNotes.fill(35);
    RandomGenerator random(3);
    const Events events = buildMidiEvents({.volume = {kMaxInt, 0, 0},
                                           .hold = {1, 0, 0},
                                           .beatLength = 0,
                                           .stepMs = kMaxInt,
                                           .drumVolume = -100},
                                          score, random);
    ASSERT_EQ(events.size(), 2048u);
    for (const MidiEvent& e : events) {
        EXPECT_EQ(messageData2(e.message), messageStatus(e.message) == 0x90 ? 127 : 0);
    }
    EXPECT_EQ(events.back().timeMs, std::int64_t{1023} * kMaxInt);
    RandomGenerator replay(3);
    for (int i = 0; i < 1024 + 512 + 256 + 1024 + 768; ++i) {
        replay.next();
    }
    EXPECT_EQ(random.state(), replay.state());
}

// 0, 127, 128, 16383, 16384, 2097151, 2097152, kMaxVarLen; above that nothing.
TEST(MidiFile, VariableLengthQuantities) {
    Bytes out;
    int written = 0;
    for (const std::uint32_t value :
         {0u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, kMaxVarLen, kMaxVarLen + 1}) {
        written += writeVarLen(value, out);
    }
    EXPECT_EQ(out, (Bytes{0x00, 0x7F, 0x81, 0x00, 0xFF, 0x7F, 0x81, 0x80, 0x00, 0xFF,
                          0xFF, 0x7F, 0x81, 0x80, 0x80, 0x00, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(static_cast<std::size_t>(written), out.size());
}

// Division (offset 12) and tempo (offset 26): a quarter of 8 steps, from 2098 ms
// of 4, from 4195 of 2, from 8389 of 1, beyond 16777 ms a second; 1 tick a ms.
TEST(MidiFile, DivisionAndTempo) {
    const std::pair<std::int32_t, int> stepAndDivision[] = {
        // clang-format off
        {50, 400}, {2097, 16776}, {2098, 8392}, {4194, 16776}, {4195, 8390},
        {8389, 8389}, {16777, 16777}, {16778, 1000}, {2147483647, 1000}};
    // clang-format on
    for (const auto& [stepMs, division] : stepAndDivision) {
        const Bytes file = encodeMidiFile({.stepMs = stepMs}, {}).bytes;
        EXPECT_EQ(file[12] << 8 | file[13], division) << stepMs;
        EXPECT_EQ(file[26] << 16 | file[27] << 8 | file[28], division * 1000) << stepMs;
    }
}

TEST(MidiFile, RefusesOnlyWhatNoFileCanHold) {
    const std::uint32_t note = packShortMessage(0x90, 60, 99);
    const SongSettings s{.stepMs = 262'400}; // the longest step whose piece fits any gap
    EXPECT_TRUE(encodeMidiFile(s, Events{{std::int64_t{1023} * s.stepMs, note}}).ok());
    const MidiFileBytes tooLong = encodeMidiFile(s, Events{{std::int64_t{kMaxVarLen} + 1, note}});
    EXPECT_TRUE(tooLong.bytes.empty());
    EXPECT_NE(tooLong.error.find("268435456 ms"), std::string::npos) << tooLong.error;
    EXPECT_FALSE(encodeMidiFile(s, Events{{10, note}, {5, note}}).ok()) << "time going back";
    EXPECT_FALSE(encodeMidiFile(s, Events{{0, 0x3C40}}).ok()) << "no status byte";
    EXPECT_FALSE(encodeMidiFile(s, Events{{0, packShortMessage(0x90, 200, 1)}}).ok());
}

// What python3-mido must find: format 1, one track; at tick 0 the tempo, 4/4,
// the programs and the set modulation wheels; every event at its millisecond.
std::string expectedMidoView(const SongSettings& s, const Events& events) {
    const MidiTiming timing = midiTiming(s.stepMs);
    std::ostringstream view;
    view << "header 1 " << timing.division << " 1\n";
    const auto line = [&](std::int64_t tick, std::initializer_list<std::uint32_t> bytes) {
        view << tick;
        for (const std::uint32_t byte : bytes) {
            view << ' ' << (byte & 0xFF);
        }
        view << '\n';
    };
    const std::uint32_t tempo = timing.tempoMicros;
    line(0, {0xFF, 0x51, 3, tempo >> 16, tempo >> 8, tempo});
    line(0, {0xFF, 0x58, 4, 4, 2, 24, 8});
    for (std::uint32_t k = 0; k < 3; ++k) {
        line(0, {0xC0 | k, static_cast<std::uint32_t>(std::clamp(s.instrument[k], 0, 127))});
        if (s.modulation[k] != 0) {
            line(0, {0xB0 | k, 1, 63});
        }
    }
    for (const MidiEvent& e : events) {
        line(e.timeMs, {e.message, e.message >> 8, e.message >> 16});
    }
    line(events.back().timeMs, {0xFF, 0x2F, 0});
    return view.str();
}

// Every line busy, drums on every step, steps too long for 8 to a quarter.
TEST(MidiFile, MidoReadsWhatWeWrite) {
    RandomGenerator random(12);
    SongSettings s;
    randomiseAll(s, random);
    s.instrument = {200, 40, -3};
    s.modulation = {1, 0, 1};
    s.harmonyOffset = 4;
    s.beatLength = 1;
    s.stepMs = 5000;
    Score score;
    generateScore(s, score);
    fillDrumNotes(s, score);
    const Events events = buildMidiEvents(s, score, random);
    testing::TempDir dir;
    const std::string path = dir.file("export.mid");
    ASSERT_TRUE(writeMidiFile(path, s, events).ok());
    const std::string script = TARNWICK_TEST_SOURCE_DIR "/files/mido_dump.py";
    const std::string command =
        "/usr/bin/python3 '" + script + "' '" + path + "' > '" + path + ".txt'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes view = testing::readBytes(path + ".txt");
    EXPECT_EQ(std::string(view.begin(), view.end()), expectedMidoView(s, events));
}

} // namespace
} // namespace tarnwick
