#include <cstdlib>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include "composition/canon_generator.h"
#include "composition/random.h"
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

Bytes encode(const SongSettings& s, const Events& events = {}) {
    MidiFileBytes file = encodeMidiFile(s, events);
    EXPECT_TRUE(file.ok()) << file.error;
    return file.bytes;
}

// The events and end of track, after the header, tempo, meter and programs.
Bytes eventBytes(const Bytes& file) {
    return {file.begin() + 46, file.end()};
}

std::uint32_t bigEndian(const Bytes& file, std::size_t offset, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = offset; i < offset + count; ++i) {
        value = value << 8 | file[i];
    }
    return value;
}

// 0, 127, 128, 16383, 16384, 2097151, 2097152, kMaxVarLen; above that nothing.
TEST(MidiFile, VariableLengthQuantitiesAndBigEndianWords) {
    Bytes out;
    int written = 0;
    for (const std::uint32_t value :
         {0u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, kMaxVarLen, kMaxVarLen + 1}) {
        written += writeVarLen(value, out);
    }
    EXPECT_EQ(out, (Bytes{0x00, 0x7F, 0x81, 0x00, 0xFF, 0x7F, 0x81, 0x80, 0x00, 0xFF,
                          0xFF, 0x7F, 0x81, 0x80, 0x80, 0x00, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(static_cast<std::size_t>(written), out.size());
    writeBigEndian32(0xF4FFFFFE, out);
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{0xF4, 0xFF, 0xFF, 0xFE}));
}

TEST(MidiFile, AnExportBeforeAnyPlayIsThe50ByteFile) {
    const Bytes expected = {
        0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06,       // "MThd", header length 6
        0x00, 0x01, 0x00, 0x01, 0x05, 0x78,                   // format 1, one track, division 1400
        0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x1C,       // "MTrk", track length 28
        0x00, 0xFF, 0x51, 0x03, 0x15, 0x5C, 0xC0,             // tempo 1,400,000 us per quarter
        0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,       // 4/4, 24 clocks, 8 32nds
        0x00, 0xC0, 0x00, 0x00, 0xC1, 0x00, 0x00, 0xC2, 0x00, // program 0 on channels 0-2
        0x00, 0xFF, 0x2F, 0x00};                              // end of track
    EXPECT_EQ(encode(SongSettings{}), expected);
}

TEST(MidiFile, ProgramsAreClampedAndModulationFollowsItsVoice) {
    SongSettings s;
    s.modulation[1] = 1;
    s.portamento = {1, 1, 1}; // no effect on the file
    s.instrument = {127, 200, -3};
    const Bytes file = encode(s);
    EXPECT_EQ(bigEndian(file, 18, 4), 32u) << "track length";
    EXPECT_EQ(Bytes(file.begin() + 37, file.end()),
              (Bytes{0x00, 0xC0, 0x7F,       // 127 as it is
                     0x00, 0xC1, 0x7F,       // 200 clamped to 127
                     0x00, 0xB1, 0x01, 0x3F, // modulation wheel of voice 2 to 63
                     0x00, 0xC2, 0x00,       // -3 clamped to 0
                     0x00, 0xFF, 0x2F, 0x00}));
}

// Division (ticks per quarter, offset 12) and tempo (us per quarter, offset
// 26): a quarter note of 8 steps, from 2098 ms of 4, from 4195 of 2, from
// 8389 of 1, and beyond 16777 ms a fixed second; always one tick per ms.
TEST(MidiFile, DivisionAndTempo) {
    const std::pair<std::int32_t, std::uint32_t> stepAndDivision[] = {
        // clang-format off
        {50, 400}, {175, 1400}, {2097, 16776}, {2098, 8392}, {4194, 16776}, {4195, 8390},
        {8389, 8389}, {16777, 16777}, {16778, 1000}, {2147483647, 1000}};
    // clang-format on
    for (const auto& [stepMs, division] : stepAndDivision) {
        const Bytes file = encode(SongSettings{.stepMs = stepMs});
        EXPECT_EQ(bigEndian(file, 12, 2), division) << stepMs;
        EXPECT_EQ(bigEndian(file, 26, 3), division * 1000) << stepMs;
    }
}

TEST(MidiFile, EventsAreWrittenWithDeltaTimes) {
    const std::uint32_t noteOn60 = packShortMessage(0x90, 60, 99);
    EXPECT_EQ(eventBytes(encode({}, Events{{0, packShortMessage(0x80, 0, 0)}, {0, noteOn60}})),
              (Bytes{0x00, 0x80, 0x00, 0x00, 0x00, 0x90, 0x3C, 99, 0x00, 0xFF, 0x2F, 0x00}));
    const Bytes spaced = encode({}, Events{{1750, noteOn60}, {1750 + 16384, noteOn60}});
    EXPECT_EQ(eventBytes(spaced), (Bytes{0x8D, 0x56, 0x90, 0x3C, 99,       // step 10 at 175 ms
                                         0x81, 0x80, 0x00, 0x90, 0x3C, 99, // 16,384 ms later
                                         0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(bigEndian(spaced, 18, 4), spaced.size() - 22) << "track length";
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

TEST(MidiFile, WriteMidiFileReportsTheFileAndTheReason) {
    testing::TempDir dir;
    const std::string path = dir.file("song.mid");
    ASSERT_TRUE(writeMidiFile(path, {}, Events{}).ok());
    EXPECT_EQ(testing::readBytes(path).size(), 50u);
    EXPECT_EQ(writeMidiFile(dir.file("none/song.mid"), {}, Events{}).message(),
              dir.file("none/song.mid") + ": No such file or directory");
    EXPECT_FALSE(writeMidiFile(path, {}, Events{{0, 0x90}, {-1, 0x90}}).ok());
    EXPECT_EQ(testing::readBytes(path).size(), 50u) << "a refused list leaves the file alone";
}

// A MIDI parser of its own (python3-mido, through mido_dump.py) reads the
// files we write. One tick per millisecond, so each event's tick is its time.
std::string readWithMido(const std::string& path) {
    const std::string script = TARNWICK_TEST_SOURCE_DIR "/files/mido_dump.py";
    const std::string command =
        "/usr/bin/python3 '" + script + "' '" + path + "' > '" + path + ".txt' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::vector<std::uint8_t> text = testing::readBytes(path + ".txt");
    return {text.begin(), text.end()};
}

std::string expectedMidoView(const SongSettings& s, const Events& events) {
    const int division = midiTiming(s.stepMs).division;
    std::ostringstream text;
    text << "header 1 " << division << " 1\ntempo " << division * 1000 << "\nmeter 4 4 24 8\n";
    for (std::size_t k = 0; k < 3; ++k) {
        text << "program " << k << ' ' << s.instrument[k] << '\n'
             << (s.modulation[k] != 0 ? "control " + std::to_string(k) + " 1 63\n" : "");
    }
    for (const MidiEvent& e : events) {
        text << "note " << e.timeMs << ' ' << (e.message & 0xFF) << ' ' << (e.message >> 8 & 0xFF)
             << ' ' << (e.message >> 16) << '\n'; // status, note, velocity
    }
    text << "end " << events.back().timeMs << '\n';
    return text.str();
}

// At the start values; then with every line busy, drums on every step,
// modulation, and steps longer than the tempo field allows at 8 steps per
// quarter.
TEST(MidiFile, MidoReadsWhatWeWrite) {
    for (const bool busy : {false, true}) {
        RandomGenerator random(12);
        SongSettings s;
        applyStartValues(s, random);
        if (busy) {
            s.hold = {0, 0, 0};
            s.harmonyOffset = 4;
            s.beatLength = 1;
            s.drumKit = {9, 16, 40, 1, 61, 0, 20, 30};
            s.instrument = {127, 40, 73};
            s.modulation = {1, 0, 1};
            s.scaleIndex = 18;
            s.stepMs = 5000;
        }
        Score score;
        generateScore(s, score);
        fillDrumNotes(s, score);
        const Events events = buildMidiEvents(s, score, random);
        ASSERT_GT(events.size(), 100u);
        testing::TempDir dir;
        ASSERT_TRUE(writeMidiFile(dir.file("export.mid"), s, events).ok());
        EXPECT_EQ(readWithMido(dir.file("export.mid")), expectedMidoView(s, events));
    }
}

} // namespace
} // namespace tarnwick
