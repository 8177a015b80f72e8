#include <limits>

#include <gtest/gtest.h>

#include "composition/song_settings.h"
#include "files/midi_file.h"
#include "playback/midi_output.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<MidiEvent>;

Bytes varLen(std::uint32_t value) {
    Bytes out;
    const int count = writeVarLen(value, out);
    EXPECT_EQ(static_cast<std::size_t>(count), out.size());
    return out;
}

// The track after the header (22 bytes), the tempo and time signature (15)
// and the three program changes (9): the list events and the end of track.
Bytes eventBytes(const Bytes& file) {
    return {file.begin() + 22 + 15 + 9, file.end()};
}

std::uint32_t trackLength(const Bytes& file) {
    return std::uint32_t{file[18]} << 24 | std::uint32_t{file[19]} << 16 |
           std::uint32_t{file[20]} << 8 | file[21];
}

Bytes encode(const SongSettings& s, const Events& events = {}) {
    MidiFileBytes file = encodeMidiFile(s, events);
    EXPECT_TRUE(file.ok()) << file.error;
    return file.bytes;
}

TEST(MidiFile, VariableLengthQuantities) {
    EXPECT_EQ(varLen(0), (Bytes{0x00}));
    EXPECT_EQ(varLen(127), (Bytes{0x7F}));
    EXPECT_EQ(varLen(128), (Bytes{0x81, 0x00}));
    EXPECT_EQ(varLen(175), (Bytes{0x81, 0x2F}));
    EXPECT_EQ(varLen(1750), (Bytes{0x8D, 0x56}));
    EXPECT_EQ(varLen(16383), (Bytes{0xFF, 0x7F}));
    EXPECT_EQ(varLen(16384), (Bytes{0x81, 0x80, 0x00}));
    EXPECT_EQ(varLen(2097151), (Bytes{0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(varLen(2097152), (Bytes{0x81, 0x80, 0x80, 0x00}));
    EXPECT_EQ(varLen(kMaxVarLen), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(varLen(kMaxVarLen + 1), Bytes{}) << "too large: nothing written";

    Bytes out;
    writeBigEndian32(0x00010001, out);
    writeBigEndian32(0xF4FFFFFE, out);
    EXPECT_EQ(out, (Bytes{0x00, 0x01, 0x00, 0x01, 0xF4, 0xFF, 0xFF, 0xFE}));
}

TEST(MidiFile, AnExportBeforeAnyPlayIsThe50ByteFile) {
    const Bytes expected = {
        0x4D, 0x54, 0x68, 0x64,                         // "MThd"
        0x00, 0x00, 0x00, 0x06,                         // header length 6
        0x00, 0x01, 0x00, 0x01,                         // format 1, one track
        0x05, 0x78,                                     // division 1400 = 175 x 8
        0x4D, 0x54, 0x72, 0x6B,                         // "MTrk"
        0x00, 0x00, 0x00, 0x1C,                         // track length 28
        0x00, 0xFF, 0x51, 0x03, 0x15, 0x5C, 0xC0,       // tempo 1,400,000 us
        0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, // 4/4, 24 clocks, 8 32nds
        0x00, 0xC0, 0x00,                               // program 0 on channels 0,
        0x00, 0xC1, 0x00,                               // 1
        0x00, 0xC2, 0x00,                               // and 2
        0x00, 0xFF, 0x2F, 0x00,                         // end of track
    };
    EXPECT_EQ(encode(SongSettings{}), expected);
}

TEST(MidiFile, ProgramsAndModulation) {
    SongSettings s;
    s.modulation[1] = 1;
    s.portamento = {1, 1, 1}; // no effect on the file
    s.instrument = {127, 200, -3};
    const Bytes file = encode(s);
    EXPECT_EQ(trackLength(file), 32u);
    EXPECT_EQ((Bytes(file.begin() + 37, file.end())),
              (Bytes{0x00, 0xC0, 0x7F,       // 127 as it is
                     0x00, 0xC1, 0x7F,       // 200 clamped to 127
                     0x00, 0xB1, 0x01, 0x3F, // modulation wheel of voice 2 to 63
                     0x00, 0xC2, 0x00,       // -3 clamped to 0
                     0x00, 0xFF, 0x2F, 0x00}));
}

TEST(MidiFile, DivisionAndTempoKeepOneTickPerMillisecond) {
    struct Case {
        std::int32_t stepMs;
        std::uint16_t division;
        std::uint32_t tempo;
    };
    for (const Case& c :
         {Case{50, 400, 400'000}, Case{175, 1400, 1'400'000}, Case{2097, 16776, 16'776'000},
          Case{2098, 8392, 8'392'000},                                // quarter note of 4 steps
          Case{4194, 16776, 16'776'000}, Case{4195, 8390, 8'390'000}, // of 2
          Case{8389, 8389, 8'389'000},                                // of 1
          Case{16777, 16777, 16'777'000},
          Case{16778, 1000, 1'000'000}, // a fixed second per quarter
          Case{std::numeric_limits<std::int32_t>::max(), 1000, 1'000'000}}) {
        const MidiTiming timing = midiTiming(c.stepMs);
        EXPECT_EQ(timing.division, c.division) << c.stepMs;
        EXPECT_EQ(timing.tempoMicros, c.tempo) << c.stepMs;
        EXPECT_EQ(timing.tempoMicros, timing.division * 1000u) << "1 ms per tick";

        SongSettings s;
        s.stepMs = c.stepMs;
        const Bytes file = encode(s);
        EXPECT_EQ(file[12] << 8 | file[13], c.division);
        EXPECT_EQ(std::uint32_t{file[26]} << 16 | std::uint32_t{file[27]} << 8 | file[28], c.tempo);
    }
    EXPECT_EQ(encode(SongSettings{.stepMs = 50})[12], 0x01);
    EXPECT_EQ(encode(SongSettings{.stepMs = 2097})[26], 0xFF);
}

TEST(MidiFile, EventsAreWrittenWithDeltaTimes) {
    const std::uint32_t noteOn60 = packShortMessage(0x90, 60, 99);
    const Bytes twoAtZero =
        encode(SongSettings{}, Events{{0, packShortMessage(0x80, 0, 0)}, {0, noteOn60}});
    EXPECT_EQ(trackLength(twoAtZero), 36u);
    EXPECT_EQ(eventBytes(twoAtZero),
              (Bytes{0x00, 0x80, 0x00, 0x00, 0x00, 0x90, 0x3C, 99, 0x00, 0xFF, 0x2F, 0x00}));

    const Bytes spaced = encode(SongSettings{}, Events{{1750, noteOn60}, {1750 + 16384, noteOn60}});
    EXPECT_EQ(eventBytes(spaced), (Bytes{0x8D, 0x56, 0x90, 0x3C, 99,       // step 10 at 175 ms
                                         0x81, 0x80, 0x00, 0x90, 0x3C, 99, // 16,384 ms later
                                         0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(trackLength(spaced), spaced.size() - 22);
}

TEST(MidiFile, RefusesOnlyWhatNoFileCanHold) {
    const std::uint32_t note = packShortMessage(0x90, 60, 99);
    SongSettings s;
    s.stepMs = 262'400; // the longest step whose whole piece fits any gap: 1023 x 262,400 ms
    EXPECT_TRUE(encodeMidiFile(s, Events{{std::int64_t{1023} * s.stepMs, note}}).ok());

    const MidiFileBytes tooLong = encodeMidiFile(s, Events{{std::int64_t{kMaxVarLen} + 1, note}});
    EXPECT_FALSE(tooLong.ok());
    EXPECT_TRUE(tooLong.bytes.empty());
    EXPECT_NE(tooLong.error.find("268435456 ms"), std::string::npos) << tooLong.error;

    EXPECT_FALSE(encodeMidiFile(s, Events{{10, note}, {5, note}}).ok()) << "time going back";
    EXPECT_FALSE(encodeMidiFile(s, Events{{0, 0x3C40}}).ok()) << "no status byte";
    EXPECT_FALSE(encodeMidiFile(s, Events{{0, packShortMessage(0x90, 200, 1)}}).ok());
}

TEST(MidiFile, WriteMidiFileReportsTheFileAndTheReason) {
    testing::TempDir dir;
    const std::string path = dir.file("song.mid");
    ASSERT_TRUE(writeMidiFile(path, SongSettings{}, Events{}).ok());
    EXPECT_EQ(testing::readBytes(path).size(), 50u);

    const FileResult missingFolder =
        writeMidiFile(dir.file("none/song.mid"), SongSettings{}, Events{});
    EXPECT_EQ(missingFolder.message(), dir.file("none/song.mid") + ": No such file or directory");

    const FileResult refused = writeMidiFile(path, SongSettings{}, Events{{0, 0x90}, {-1, 0x90}});
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(testing::readBytes(path).size(), 50u) << "a refused list leaves the file alone";
}

} // namespace
} // namespace tarnwick
