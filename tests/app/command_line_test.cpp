#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/command_line.h"
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

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun run(std::vector<std::string_view> arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCommandLine(arguments, out, err);
    return {status, out.str(), err.str()};
}

std::size_t countValues(const std::string& json, const std::string& key) {
    const std::regex array("\"" + key + "\":\\[([0-9,]*)\\]");
    std::smatch match;
    if (!std::regex_search(json, match, array)) {
        return 0;
    }
    const std::string values = match[1];
    return values.empty()
               ? 0
               : static_cast<std::size_t>(std::count(values.begin(), values.end(), ',')) + 1;
}

TEST(PrintScore, CompactJsonWithEveryTable) {
    const CliRun r = run({"--print-score", "--rand-seed", "42"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.out.find(' '), std::string::npos);
    EXPECT_EQ(r.out.rfind("{\"voice1\":[", 0), 0u);
    EXPECT_EQ(countValues(r.out, "voice1"), 1024u);
    EXPECT_EQ(countValues(r.out, "voice2"), 512u);
    EXPECT_EQ(countValues(r.out, "harmony"), 512u);
    EXPECT_EQ(countValues(r.out, "voice3"), 256u);
    EXPECT_EQ(r.out.substr(r.out.size() - 27), "\"drums\":[0,0,0,0,0,0,0,0]}\n");
}

TEST(PrintScore, FollowsTheStartSequenceForTheGivenSeed) {
    RandomGenerator random(42);
    SongSettings settings;
    applyStartValues(settings, random);
    Score score;
    generateScore(settings, score);
    const CliRun r = run({"--rand-seed", "42", "--print-score"});
    EXPECT_NE(r.out.find("\"voice1\":[" + std::to_string(score.voice1Notes[0]) + "," +
                         std::to_string(score.voice1Notes[1]) + ","),
              std::string::npos);
    EXPECT_EQ(run({"--print-score", "--rand-seed", "42"}).out, r.out);
}

TEST(PrintScore, RandSeedIsTakenModulo2To32) {
    const std::string one = run({"--print-score", "--rand-seed", "1"}).out;
    EXPECT_EQ(run({"--print-score", "--rand-seed", "4294967297"}).out, one);
    EXPECT_EQ(run({"--print-score", "--rand-seed", "-4294967295"}).out, one);
    EXPECT_NE(run({"--print-score", "--rand-seed", "2"}).out, one);
}

TEST(CommandLine, BadUsageExitsWithTwoAndExplains) {
    for (const auto& arguments : std::vector<std::vector<std::string_view>>{
             {"--bogus"},
             {"--print-score", "--rand-seed"},
             {"--print-score", "--rand-seed", "12x"},
             {"--print-score", "--rand-seed", ""},
             {"--print-score", "--help"},
         }) {
        const CliRun r = run(arguments);
        EXPECT_EQ(r.status, 2);
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

// --- Export and save --------------------------------------------------------

using testing::readBytes;
using testing::TempDir;

// Settings a dialog would show after opening a file with odd values.
SongSettings oddSettings() {
    SongSettings s;
    s.seedCount = 3;
    s.seed = {4, -2, 1, 9, 9, 9, 9, 9};
    s.lowOctave = {12, 2, 3};
    s.highOctave = {3, 9, 4};
    s.volume = {-1, 120, 70};
    s.instrument = {200, 5, 127};
    s.drumKit = {9, 70, 16, -1, 0, 0, 0, 0};
    s.modulation = {0, 7, 0};
    s.stepMs = 10;
    s.harmonyOffset = -5;
    s.reserved[28] = 1234;
    return s;
}

TEST(ExportMidi, IsTheSequenceADialogUserRuns) {
    TempDir dir;
    ASSERT_TRUE(saveSettingsFile(dir.file("odd.tarn"), oddSettings()).ok());
    const std::string out = dir.file("odd.mid");
    const CliRun r =
        run({"--export-midi", out, "--settings", dir.file("odd.tarn"), "--rand-seed", "77"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");

    // By hand: start values, the file, the controls' clamps, the score and
    // drum notes, then the events, all from one generator.
    RandomGenerator random(77);
    SongSettings s;
    applyStartValues(s, random);
    s = oddSettings();
    s.lowOctave[0] = 1; // 12 and 3: the pair rule resets the voice
    s.highOctave[0] = 10;
    s.volume = {90, 90, 70};
    s.stepMs = 50;
    Score score;
    generateScore(s, score);
    fillDrumNotes(s, score);
    EXPECT_EQ(score.drumNotes[1], 0) << "a drum entry outside the table gives no hit";
    const std::vector<MidiEvent> events = buildMidiEvents(s, score, random);
    EXPECT_EQ(readBytes(out), encodeMidiFile(s, events).bytes);
}

TEST(SaveSettings, WritesTheSettingsAsTheControlsReadThemBack) {
    TempDir dir;
    ASSERT_TRUE(saveSettingsFile(dir.file("odd.tarn"), oddSettings()).ok());
    SettingsFileBytes image = encodeSettings(oddSettings());
    image[0] = 9; // any version word loads
    testing::writeBytes(dir.file("odd.tarn"), {image.begin(), image.end()});

    const CliRun r =
        run({"--save-settings", dir.file("again.tarn"), "--settings", dir.file("odd.tarn")});
    ASSERT_EQ(r.status, 0) << r.err;
    SongSettings saved;
    ASSERT_TRUE(loadSettingsFile(dir.file("again.tarn"), saved).ok());
    EXPECT_EQ(readBytes(dir.file("again.tarn"))[0], 1);
    EXPECT_EQ(saved.lowOctave, (VoiceValues{1, 2, 3}));
    EXPECT_EQ(saved.highOctave, (VoiceValues{10, 9, 4}));
    EXPECT_EQ(saved.volume, (VoiceValues{90, 90, 70}));
    EXPECT_EQ(saved.instrument, (VoiceValues{200, 5, 127})) << "no list item: kept";
    EXPECT_EQ(saved.modulation, (VoiceValues{0, 1, 0}));
    EXPECT_EQ(saved.stepMs, 50);
    EXPECT_EQ(saved.seedCount, 3);
    EXPECT_EQ(saved.seed, oddSettings().seed);
    EXPECT_EQ(saved.reserved, oddSettings().reserved);
    EXPECT_EQ(saved.drumKit, oddSettings().drumKit);
}

TEST(CommandLine, ASettingsFileThatCannotBeReadIsBadUsageAndWritesNothing) {
    TempDir dir;
    testing::writeBytes(dir.file("short.tarn"), std::vector<std::uint8_t>(96, 0));
    const std::string out = dir.file("out.mid");
    CliRun r = run({"--export-midi", out, "--settings", dir.file("short.tarn")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarnwick: cannot load settings from " + dir.file("short.tarn") +
                         ": not a Tarnwick settings file: 96 bytes, 312 expected\n");
    r = run({"--save-settings", out, "--settings", dir.file("none.tarn")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarnwick: cannot load settings from " + dir.file("none.tarn") +
                         ": No such file or directory\n");
    EXPECT_EQ(run({"--print-score", "--settings", dir.file("none.tarn")}).out, "");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"short.tarn"});
}

TEST(CommandLine, AnOutputThatCannotBeWrittenExitsWithOne) {
    TempDir dir;
    const std::string out = dir.file("missing/out.mid");
    CliRun r = run({"--export-midi", out, "--rand-seed", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnwick: cannot write " + out + ": No such file or directory\n");
    EXPECT_EQ(run({"--save-settings", out}).status, 1);

    // A step length so long that the gaps between notes exceed what a MIDI
    // delta-time can hold: refused with the reason, nothing written.
    SongSettings slow;
    RandomGenerator random(1);
    applyStartValues(slow, random);
    slow.stepMs = 2000000000;
    ASSERT_TRUE(saveSettingsFile(dir.file("slow.tarn"), slow).ok());
    r = run({"--export-midi", dir.file("slow.mid"), "--settings", dir.file("slow.tarn")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("slow.mid: a gap of"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("slow.mid")));
}

TEST(CommandLine, OutputsAndSettingsNeedTheirFiles) {
    for (const auto& arguments : std::vector<std::vector<std::string_view>>{
             {"--export-midi"},
             {"--save-settings", ""},
             {"--print-score", "--settings"},
             {"--settings", "a.tarn"},
             {"--print-score", "--settings", "a.tarn", "--settings", "b.tarn"},
             {"--export-midi", "a.mid", "--save-settings", "a.tarn"},
         }) {
        const CliRun r = run(arguments);
        EXPECT_EQ(r.status, 2) << arguments[0];
        EXPECT_NE(r.err.find("Usage: tarnwick"), std::string::npos);
    }
}

} // namespace
} // namespace tarnwick
