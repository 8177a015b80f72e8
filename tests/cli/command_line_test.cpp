// The commands that compose and write, and the shared usage rules, in-process.

#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/command_parser.h"
#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"
#include "playback/transport.h"
#include "tests/cli/cli_run.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using testing::runCli;

TEST(CommandLine, EachOutcomeHasItsStatusAndItsMessage) {
    testing::TempDir dir;
    testing::writeBytes(dir.file("short.tarn"), std::vector<std::uint8_t>(96, 0));
    const std::string missing = dir.file("missing/out.mid");
    const auto usage = [](const std::string& reason) {
        return "tarnwick: " + reason + "\nUsage: tarnwick COMMAND [--settings FILE.tarn]";
    };
    const std::string range = "--rand-seed needs a number from -2147483648 to 4294967295, not ";
    struct Case {
        std::string arguments;
        int status;
        std::string out, err; // what each stream starts with; empty: nothing at all
    };
    const Case cases[] = {
        {"--help", 0, "Usage: tarnwick COMMAND [--settings FILE.tarn] [--rand-seed N]\n", ""},
        {"-v", 0, std::string("tarnwick ") + TARNWICK_VERSION + "\n", ""},
        {"--bogus", 2, "", usage("unknown option '--bogus'")},
        {"--print-score foo", 2, "", usage("unknown option 'foo'")},
        {"--print-score --seconds 3", 2, "", usage("unknown option '--seconds'")},
        {"--print-score=1", 2, "", usage("--print-score takes no value")},
        {"--print-score --rand-seed", 2, "", usage("--rand-seed needs a number")},
        {"--export-midi=", 2, "",
         "tarnwick: --export-midi needs an output file\nUsage: tarnwick --export-midi OUT.mid"},
        {"--print-score --rand-seed 12x", 2, "",
         usage("--rand-seed needs a decimal integer, not '12x'")},
        {"--print-score --rand-seed=4294967296", 2, "", usage(range + "'4294967296'")},
        {"--print-score --rand-seed -2147483649", 2, "", usage(range + "'-2147483649'")},
        {"--print-score --settings a --settings=b", 2, "", usage("--settings given twice")},
        {"--settings a.tarn", 2, "", usage("no command given")},
        {"--export-midi a --save-settings b", 2, "",
         "tarnwick: more than one command given ('--save-settings')\nUsage: tarnwick "
         "--export-midi"},
        {"--print-score -h", 2, "", usage("more than one command given ('-h')")},
        // Files that cannot be read or written: the file and the reason.
        {"--export-midi " + dir.file("a.mid") + " --settings " + dir.file("short.tarn"), 2, "",
         "tarnwick: cannot load settings from " + dir.file("short.tarn") +
             ": not a Tarnwick settings file: 96 bytes, 312 expected\n"},
        {"--export-midi " + missing + " --rand-seed 3", 1, "",
         "tarnwick: cannot write " + missing + ": No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const testing::CliRun r = runCli(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_TRUE(c.out.empty() ? r.out.empty() : r.out.starts_with(c.out)) << r.out;
        EXPECT_TRUE(c.err.empty() ? r.err.empty() : r.err.starts_with(c.err)) << r.err;
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"short.tarn"}) << "nothing written";
}

// A file name alone opens the window with it; all else is a command line.
TEST(CommandLine, AFileNameAloneIsForTheWindow) {
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{"my song.tarn"}, "my song.tarn"}, {{"--", "-odd.tarn"}, "-odd.tarn"}, {{""}, ""},
        {{"a.tarn", "b.tarn"}, ""},         {{"--settings", "a.tarn"}, ""},     {{"-h"}, ""}};
    for (const auto& [arguments, file] : cases) {
        EXPECT_EQ(windowFileArgument(arguments).value_or(""), file) << arguments[0];
    }
}

// Odd settings as a file holds them, or as the controls read them back.
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

// The JSON that --print-score prints for `score`.
std::string scoreJson(const Score& score) {
    std::string json;
    const auto append = [&](const char* key, std::span<const NoteByte> notes) {
        json += std::string(json.empty() ? "{\"" : ",\"") + key + "\":[";
        for (std::size_t i = 0; i < notes.size(); ++i) {
            json += (i == 0 ? "" : ",") + std::to_string(notes[i]);
        }
        json += ']';
    };
    append("voice1", score.voice1Notes);
    append("voice2", score.voice2Notes);
    append("harmony", score.harmonyNotes);
    append("voice3", score.voice3Notes);
    append("drums", score.drumNotes);
    return json + "}\n";
}

TEST(Commands, FollowTheSequenceADialogUserRuns) {
    testing::TempDir dir;
    const std::string odd = dir.file("odd.tarn");
    ASSERT_TRUE(saveSettingsFile(odd, oddSettings(false)).ok());
    const testing::CliRun r =
        runCli("--rand-seed 77 --export-midi=" + dir.file("odd.mid") + " --settings " + odd);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    // By hand: start values, file, clamps, score, drums, events; one generator.
    RandomGenerator random(77);
    SongSettings s;
    applyStartValues(s, random);
    s = oddSettings(true);
    Score score;
    generateScore(s, score);
    fillDrumNotes(s, score);
    EXPECT_EQ(runCli("--print-score --rand-seed=77 --settings " + odd).out, scoreJson(score));
    const std::vector<MidiEvent> events = buildMidiEvents(s, score, random);
    EXPECT_EQ(testing::readBytes(dir.file("odd.mid")), encodeMidiFile(s, events).bytes);

    // A file name in no particular encoding comes through byte for byte.
    const std::string name = dir.file("\xff\xe9.tarn");
    ASSERT_EQ(runCli("--save-settings " + name + " --settings " + odd).status, 0);
    ASSERT_TRUE(loadSettingsFile(name, s).ok());
    EXPECT_EQ(s, oddSettings(true));

    // A negative seed n stands for 2^32 + n, down to the range's lowest.
    const std::string top = runCli("--print-score --rand-seed 4294967295").out;
    EXPECT_EQ(runCli("--rand-seed -1 --print-score").out, top);
    EXPECT_EQ(runCli("--rand-seed -2147483648 --print-score").out,
              runCli("--rand-seed 2147483648 --print-score").out);
    EXPECT_NE(runCli("--print-score --rand-seed 4294967294").out, top);
}

} // namespace
} // namespace tarnwick
