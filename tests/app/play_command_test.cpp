// `tarnwick --play` and `--list-outputs`, driven in-process. The trace output
// makes the performance visible: every message with the tick that sent it.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/session_setup.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "playback/manual_step_timer.h"
#include "playback/midi_output.h"
#include "playback/play_state.h"
#include "playback/step_player.h"
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

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

// Records what a performance sends, as trace lines, with the tick count.
class TickRecorder : public MidiOutput {
  public:
    void send(std::uint32_t message) override {
        char line[64];
        std::snprintf(line, sizeof line, "%lld %02X %02X %02X", static_cast<long long>(ticks),
                      messageStatus(message), messageData1(message), messageData2(message));
        lines.emplace_back(line);
    }
    std::int64_t ticks = 0;
    std::vector<std::string> lines;
};

// What pressing "Play" sends over `ticks` ticks, followed by "Stop", called
// through the library directly: the start values of `seed`, or the settings
// file `settingsPath` opened over them.
std::vector<std::string> expectedPerformance(std::uint32_t seed, std::int64_t ticks,
                                             const std::string& settingsPath = {}) {
    RandomGenerator random(seed);
    SongSettings settings;
    Score score;
    SettingsLoader load;
    if (!settingsPath.empty()) {
        load = [&](SongSettings& loaded) { return loadSettingsFile(settingsPath, loaded); };
    }
    EXPECT_TRUE(prepareSession(random, load, settings, score).ok());
    PlayState state;
    ManualStepTimer timer;
    TickRecorder recorder;
    startPlayback(settings, score, state, recorder, timer);
    for (recorder.ticks = 1; recorder.ticks <= ticks; ++recorder.ticks) {
        playStep(state, score, settings, random, recorder);
    }
    recorder.ticks = ticks;
    stopPlayback(recorder, timer);
    return recorder.lines;
}

TEST(PlayCommand, TraceShowsExactlyWhatPlayThenStopSends) {
    const CliRun result =
        run({"--play", "--output", "trace", "--ticks", "40", "--rand-seed", "2024"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(lines(result.out), expectedPerformance(2024, 40));
}

TEST(PlayCommand, TraceLinesHaveTheTickAndThreeHexBytes) {
    const CliRun result = run({"--play", "--output", "trace", "--ticks", "5", "--rand-seed", "9"});
    ASSERT_EQ(result.status, 0);
    const std::vector<std::string> trace = lines(result.out);
    const std::regex format("(0|[1-9][0-9]*) [0-9A-F]{2} [0-9A-F]{2} [0-9A-F]{2}");
    for (const std::string& line : trace) {
        EXPECT_TRUE(std::regex_match(line, format)) << line;
    }
    // The start's set-up at tick 0: four messages per voice channel with the
    // start values (no portamento), All Sound Off first.
    ASSERT_GE(trace.size(), 15u);
    EXPECT_EQ(trace[0], "0 B0 78 00");
    EXPECT_EQ(trace[4], "0 B1 78 00");
    EXPECT_EQ(trace[8], "0 B2 78 00");
    EXPECT_EQ(trace[12].substr(0, 2), "1 ");
    // Stop's three messages carry the number of ticks played before it.
    const std::vector<std::string> stop(trace.end() - 3, trace.end());
    EXPECT_EQ(stop, (std::vector<std::string>{"5 B0 78 00", "5 B1 78 00", "5 B2 78 00"}));
}

TEST(PlayCommand, ZeroTicksIsAStartAndAStop) {
    const CliRun result = run({"--play", "--output", "trace", "--ticks", "0", "--rand-seed", "1"});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(lines(result.out), expectedPerformance(1, 0));
    EXPECT_EQ(lines(result.out).size(), 15u);
}

TEST(PlayCommand, TwoFullPassesWrapAround) {
    const CliRun result =
        run({"--play", "--output", "trace", "--ticks", "2048", "--rand-seed", "77"});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(lines(result.out), expectedPerformance(77, 2048));
}

TEST(PlayCommand, PlaysAFullPassOfRandomisedSettingsFromAFile) {
    // Randomised settings with every line busy: harmony, portamento,
    // modulation, drums on every slot, a beat that does not divide 1024.
    testing::TempDir folder;
    const std::string path = folder.file("busy.tarn");
    RandomGenerator draw(4242);
    SongSettings settings;
    randomiseAll(settings, draw);
    settings.harmonyOffset = 7;
    settings.portamento = {1, 0, 1};
    settings.modulation = {0, 1, 1};
    settings.hold = {0, 0, 1};
    settings.beatLength = 3;
    settings.drumKit = {9, 12, 16, 20, 30, 40, 50, 61};
    ASSERT_TRUE(saveSettingsFile(path, settings).ok());

    const CliRun result = run({"--play", "--output", "trace", "--ticks", "1030", "--settings", path,
                               "--rand-seed", "11"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> trace = lines(result.out);
    EXPECT_EQ(trace, expectedPerformance(11, 1030, path));
    // Channels 0 and 2 have portamento: six set-up messages each, four for
    // channel 1.
    ASSERT_GT(trace.size(), 16u);
    EXPECT_EQ(trace[6], "0 B1 78 00");
    EXPECT_EQ(trace[10], "0 B2 78 00");
    EXPECT_EQ(trace[16].substr(0, 2), "1 ");
}

TEST(PlayCommand, ASettingsFileThatCannotBeReadIsAnError) {
    const CliRun result =
        run({"--play", "--output", "trace", "--ticks", "1", "--settings", "/nonexistent/x.tarn"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("tarnwick: cannot load settings from /nonexistent/x.tarn: "))
        << result.err;
}

TEST(PlayCommand, PlaysOnTheRealTimerUntilTheTimeIsUp) {
    // 0.4 s at the start values' 175 ms per step: a couple of ticks on Qt's
    // precise timer, then Stop with their number.
    const CliRun result =
        run({"--play", "--output", "trace", "--seconds", "0.4", "--rand-seed", "5"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> trace = lines(result.out);
    ASSERT_GE(trace.size(), 15u);
    const std::string last = trace.back();
    const long long ticks = std::stoll(last.substr(0, last.find(' ')));
    EXPECT_GE(ticks, 1);
    EXPECT_EQ(lines(result.out), expectedPerformance(5, ticks));
}

TEST(PlayCommand, CtrlCStopsAsStopDoes) {
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        kill(getpid(), SIGINT);
    });
    const CliRun result =
        run({"--play", "--output", "trace", "--seconds", "60", "--rand-seed", "3"});
    interrupter.join();
    ASSERT_EQ(result.status, 0);
    const std::vector<std::string> trace = lines(result.out);
    ASSERT_GE(trace.size(), 15u);
    const std::string last = trace.back();
    const long long ticks = std::stoll(last.substr(0, last.find(' ')));
    EXPECT_LT(ticks, 300); // far fewer than a minute's 342
    EXPECT_EQ(trace, expectedPerformance(3, ticks));
}

TEST(PlayCommand, TheOutputNoneTellsWhyOnStandardError) {
    const CliRun result = run({"--play", "--output", "none", "--ticks", "3"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tarnwick: No sound: the output is none\n");
}

TEST(PlayCommand, AnUnopenablePortPlaysSilentlyAndSaysWhy) {
    const CliRun result = run({"--play", "--output", "port:Tarnwick Test 91", "--ticks", "3"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.err.starts_with("tarnwick: No sound: ")) << result.err;
}

TEST(PlayCommand, RejectsBadUsageWithStatusTwo) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--play", "--seconds", "1", "--ticks", "1"},
        {"--play", "--seconds", "0"},
        {"--play", "--seconds", "-2"},
        {"--play", "--seconds", "soon"},
        {"--play", "--seconds", "1e9"},
        {"--play", "--ticks", "-1"},
        {"--play", "--ticks", "1.5"},
        {"--play", "--output", "speakers"},
        {"--play", "--output", "port:"},
        {"--play", "--output"},
        {"--play", "--output", "trace", "--soundfont", "x.sf2"},
        {"--play", "--rand-seed", "x"},
        {"--play", "--play"},
        {"--play", "--list-outputs"},
        {"--list-outputs", "--output", "none"},
        {"--play", "--verbose"},
    };
    for (const auto& arguments : bad) {
        const CliRun result = run(arguments);
        std::string joined;
        for (auto argument : arguments) {
            joined += std::string(argument) + ' ';
        }
        EXPECT_EQ(result.status, 2) << joined;
        EXPECT_TRUE(result.err.starts_with("tarnwick: ")) << joined;
        EXPECT_EQ(result.out, "") << joined;
    }
}

TEST(PlayCommand, HelpExplainsTheOptions) {
    const CliRun result = run({"--play", "--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.starts_with("Usage: tarnwick --play")) << result.out;
    EXPECT_NE(result.out.find("--output NAME"), std::string::npos);
}

TEST(PlayCommand, ASoundFontThatCannotBeReadIsAnError) {
    const CliRun result = run({"--play", "--soundfont", "/nonexistent/font.sf2", "--ticks", "1"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "tarnwick: cannot read the SoundFont /nonexistent/font.sf2\n");
}

TEST(PlayCommand, ListsTheOutputsEndingWithNoneAndTrace) {
    const CliRun result = run({"--list-outputs"});
    ASSERT_EQ(result.status, 0);
    const std::vector<std::string> listed = lines(result.out);
    ASSERT_GE(listed.size(), 2u);
    EXPECT_TRUE(listed[listed.size() - 2].starts_with("none ")) << result.out;
    EXPECT_TRUE(listed.back().starts_with("trace ")) << result.out;
}

} // namespace
} // namespace tarnwick
