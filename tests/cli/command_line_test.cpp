#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"
#include "playback/transport.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using testing::readBytes;
using testing::TempDir;

struct CliRun {
    int status;
    std::string out, err;
    friend bool operator==(const CliRun&, const CliRun&) = default;
};

CliRun run(std::vector<std::string_view> arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCommandLine(arguments, out, err);
    return {status, out.str(), err.str()};
}

// The number of values in the array after "key":[.
std::size_t countValues(const std::string& json, const std::string& key) {
    const std::size_t begin = json.find("\"" + key + "\":[") + key.size() + 4;
    const std::string values = json.substr(begin, json.find(']', begin) - begin);
    return static_cast<std::size_t>(std::count(values.begin(), values.end(), ',')) + 1;
}

TEST(PrintScore, CompactJsonWithEveryTableFromTheStartSequence) {
    const CliRun r = run({"--print-score", "--rand-seed", "42"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find(' '), std::string::npos) << "compact";
    for (const auto& [key, count] :
         {std::pair{"voice1", 1024u}, {"voice2", 512u}, {"harmony", 512u}, {"voice3", 256u}}) {
        EXPECT_EQ(countValues(r.out, key), count) << key;
    }
    EXPECT_TRUE(r.out.ends_with(",\"drums\":[0,0,0,0,0,0,0,0]}\n"));

    RandomGenerator random(42);
    SongSettings settings;
    applyStartValues(settings, random);
    Score score;
    generateScore(settings, score);
    EXPECT_TRUE(r.out.starts_with("{\"voice1\":[" + std::to_string(score.voice1Notes[0]) + "," +
                                  std::to_string(score.voice1Notes[1]) + ","));
}

TEST(PrintScore, RandSeedCoversThe32BitRange) {
    const std::string top = run({"--print-score", "--rand-seed", "4294967295"}).out;
    EXPECT_EQ(run({"--rand-seed=-1", "--print-score"}).out, top);
    EXPECT_NE(run({"--print-score", "--rand-seed", "2"}).out, top);
    EXPECT_EQ(run({"--print-score", "--rand-seed", "4294967296"}).status, 2);
    EXPECT_EQ(run({"--print-score", "--rand-seed", "-2147483649"}).status, 2);
}

TEST(CommandLine, BadUsageExitsWithTwoAndExplains) {
    // clang-format off
    for (const auto& arguments : std::vector<std::vector<std::string_view>>{
             {"--bogus"}, {"--print-score", "--rand-seed"}, {"--print-score", "--rand-seed", "12x"},
             {"--print-score", "--rand-seed", ""}, {"--print-score", "--help"}, {"--export-midi"},
             {"--save-settings", ""}, {"--print-score", "--settings"}, {"--settings", "a.tarn"},
             {"--print-score", "--settings", "a.tarn", "--settings", "b.tarn"},
             {"--export-midi", "a.mid", "--save-settings", "a.tarn"}}) {
        // clang-format on
        const CliRun r = run(arguments);
        EXPECT_EQ(r.status, 2) << arguments[0];
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: tarnwick"), std::string::npos);
    }
}

TEST(CommandLine, HelpAndVersionGoToStandardOutput) {
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--print-score"), std::string::npos);
    const CliRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tarnwick ") + TARNWICK_VERSION + "\n");
}

// Settings a dialog would show after opening a file with odd values, or
// those after the controls have read them back.
SongSettings oddSettings(bool asRead) {
    SongSettings s;
    s.seedCount = 3;
    s.seed = {4, -2, 1, 9, 9, 9, 9, 9};
    s.lowOctave = {asRead ? 1 : 12, 2, 3}; // 12 and 3: the pair rule resets the voice
    s.highOctave = {asRead ? 10 : 3, 9, 4};
    s.volume = {asRead ? 90 : -1, asRead ? 90 : 120, 70};
    s.instrument = {200, 5, 127}; // no list item: kept
    s.drumKit = {9, 70, 16, -1, 0, 0, 0, 0};
    s.modulation = {0, asRead ? 1 : 7, 0};
    s.stepMs = asRead ? 50 : 10;
    s.harmonyOffset = -5;
    s.reserved[28] = 1234;
    return s;
}

TEST(ExportAndSave, FollowTheSequenceADialogUserRuns) {
    TempDir dir;
    ASSERT_TRUE(saveSettingsFile(dir.file("odd.tarn"), oddSettings(false)).ok());
    CliRun r = run({"--export-midi", dir.file("odd.mid"), "--settings", dir.file("odd.tarn"),
                    "--rand-seed", "77"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    // By hand: start values, the file, the controls' clamps, the score and
    // drum notes, then the events, all from one generator.
    RandomGenerator random(77);
    SongSettings s;
    applyStartValues(s, random);
    s = oddSettings(true);
    Score score;
    generateScore(s, score);
    fillDrumNotes(s, score);
    EXPECT_EQ(score.drumNotes[1], 0) << "a drum entry outside the table gives no hit";
    const std::vector<MidiEvent> events = buildMidiEvents(s, score, random);
    EXPECT_EQ(readBytes(dir.file("odd.mid")), encodeMidiFile(s, events).bytes);

    r = run({"--save-settings", dir.file("again.tarn"), "--settings", dir.file("odd.tarn")});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(loadSettingsFile(dir.file("again.tarn"), s).ok());
    EXPECT_EQ(s, oddSettings(true));
}

TEST(CommandLine, ASettingsFileThatCannotBeReadIsBadUsageAndWritesNothing) {
    TempDir dir;
    testing::writeBytes(dir.file("short.tarn"), std::vector<std::uint8_t>(96, 0));
    const std::string out = dir.file("out.mid");
    EXPECT_EQ(run({"--export-midi", out, "--settings", dir.file("short.tarn")}),
              (CliRun{2, "",
                      "tarnwick: cannot load settings from " + dir.file("short.tarn") +
                          ": not a Tarnwick settings file: 96 bytes, 312 expected\n"}));
    EXPECT_EQ(run({"--save-settings", out, "--settings", dir.file("none.tarn")}),
              (CliRun{2, "",
                      "tarnwick: cannot load settings from " + dir.file("none.tarn") +
                          ": No such file or directory\n"}));
    EXPECT_EQ(run({"--print-score", "--settings", dir.file("none.tarn")}).status, 2);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"short.tarn"});
}

// An output that cannot be written, or steps so long that a gap between notes
// exceeds what a MIDI delta-time can hold: exit status 1, nothing written.
TEST(CommandLine, AnOutputThatCannotBeWrittenExitsWithOne) {
    TempDir dir;
    const std::string out = dir.file("missing/out.mid");
    EXPECT_EQ(run({"--export-midi", out, "--rand-seed", "3"}),
              (CliRun{1, "", "tarnwick: cannot write " + out + ": No such file or directory\n"}));
    EXPECT_EQ(run({"--save-settings", out}).status, 1);
    ASSERT_TRUE(saveSettingsFile(dir.file("slow.tarn"), {.stepMs = 2000000000}).ok());
    const CliRun r =
        run({"--export-midi", dir.file("slow.mid"), "--settings", dir.file("slow.tarn")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("slow.mid: a gap of"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("slow.mid")));
}

} // namespace
} // namespace tarnwick
