// `tarnwick --play`, driven in-process, and the step timer it plays on. The
// trace output makes the performance visible: every message with the tick
// that sent it.

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "midi/midi_output.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/qt_step_timer.h"
#include "playback/step_player.h"
#include "playback/tick_grid.h"
#include "playback/transport.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using std::chrono::milliseconds;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

struct CliRun {
    int status;
    std::string out, err;
};

// Runs the command line `words` (split at spaces) followed by `more`.
CliRun run(const std::string& words, const std::vector<std::string>& more = {}) {
    std::istringstream split(words);
    std::vector<std::string> arguments(std::istream_iterator<std::string>(split), {});
    arguments.insert(arguments.end(), more.begin(), more.end());
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    std::ostringstream out, err;
    const int status = runCommandLine(views, out, err);
    return {status, out.str(), err.str()};
}

// Records what a performance sends as trace lines, formatted here on their
// own: the tick in decimal, then the three bytes in uppercase hexadecimal.
struct TickRecorder : MidiOutput {
    void send(std::uint32_t message) override {
        char line[64];
        std::snprintf(line, sizeof line, "%lld %02X %02X %02X", static_cast<long long>(ticks),
                      messageStatus(message), messageData1(message), messageData2(message));
        lines.emplace_back(line);
    }
    std::int64_t ticks = 0;
    std::vector<std::string> lines;
};

// What "Play", `ticks` ticks and "Stop" send, called through the library
// directly: the start values of `seed`, or the settings file
// `settingsPath` opened over them.
std::vector<std::string> expectedPerformance(std::uint32_t seed, std::int64_t ticks,
                                             const std::string& settingsPath) {
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

TEST(PlayCommand, TheTraceIsExactlyWhatTheLibrarySends) {
    testing::TempDir folder;
    const std::string randomised = folder.file("randomised.tarn");
    RandomGenerator draw(4242);
    SongSettings settings;
    randomiseAll(settings, draw);
    ASSERT_TRUE(saveSettingsFile(randomised, settings).ok());

    struct Case {
        std::string arguments;
        std::uint32_t seed;
        long long ticks; // -1: as many as the time allowed
        bool settings = false, interrupt = false;
    };
    const Case cases[] = {
        {"--ticks 0", 1, 0}, // just a start and a stop
        {"--ticks 40", 2024, 40},
        {"--ticks 1030", 11, 1030, true},     // past the end of the piece (1024 steps)
        {"--seconds 0.4", 5, -1},             // on the real timer, 175 ms per step
        {"--seconds 60", 3, -1, false, true}, // cut short by Ctrl-C
    };
    for (const Case& c : cases) {
        std::thread interrupter([&c] {
            if (c.interrupt) {
                std::this_thread::sleep_for(milliseconds(600));
                kill(getpid(), SIGINT);
            }
        });
        const CliRun result =
            run("--play --output trace --rand-seed " + std::to_string(c.seed) + " " + c.arguments,
                c.settings ? std::vector<std::string>{"--settings", randomised}
                           : std::vector<std::string>{});
        interrupter.join();
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        const std::vector<std::string> trace = lines(result.out);
        ASSERT_GE(trace.size(), 3u);
        const std::string n = trace.back().substr(0, trace.back().find(' ')); // Stop's tick
        const long long ticks = std::stoll(n);
        // As many as asked for; or some, far fewer than a minute's 342.
        EXPECT_TRUE(c.ticks >= 0 ? ticks == c.ticks : ticks >= 1 && ticks < 300) << ticks;
        EXPECT_EQ(trace, expectedPerformance(c.seed, ticks, c.settings ? randomised : ""));
        // Spelled out: All Sound Off on channel 0 opens the set-up at tick 0;
        // Stop's three, with the number of ticks played, close the trace.
        EXPECT_EQ(trace[0], "0 B0 78 00");
        EXPECT_EQ(std::vector(trace.end() - 3, trace.end()),
                  (std::vector<std::string>{n + " B0 78 00", n + " B1 78 00", n + " B2 78 00"}));
    }
}

TEST(PlayCommand, SaysWhatIsWrongOnStandardError) {
    // Outputs that cannot sound play silently (RtMidi finds no such port, or
    // no ALSA sequencer at all, here); bad usage and unreadable files end
    // with status 2 before anything plays.
    const std::tuple<std::string, int, std::string> cases[] = {
        {"--play --ticks 3 --output none", 0, "No sound: the output is none\n"},
        {"--play --ticks 3 --output port:Tarnwick", 0, "No sound: "},
        {"--play --seconds 1 --ticks 1", 2, "either --seconds or --ticks"},
        {"--play --seconds 0", 2, "above 0, not '0'"},
        {"--play --seconds soon", 2, "above 0, not 'soon'"},
        {"--play --seconds 1e9", 2, "above 0, not '1e9'"},
        {"--play --ticks -1", 2, "whole number of ticks, not '-1'"},
        {"--play --ticks 1.5", 2, "whole number of ticks, not '1.5'"},
        {"--play --output speakers", 2, "no output called 'speakers'"},
        {"--play --output port:", 2, "no output called 'port:'"},
        {"--play --output", 2, "--output needs a value"},
        {"--play --output trace --soundfont x.sf2", 2, "--soundfont is for the output builtin"},
        {"--play --rand-seed x", 2, "decimal integer, not 'x'"},
        {"--play --play", 2, "--play given twice"},
        {"--play --list-outputs", 2, "more than one command given ('--list-outputs')"},
        {"--list-outputs --output none", 2, "--list-outputs takes no options"},
        {"--play --verbose", 2, "unknown option '--verbose'"},
        {"--play --ticks 1 --settings /nonexistent/x.tarn", 2, "cannot load settings from /no"},
        {"--play --ticks 1 --soundfont /nonexistent/x.sf2", 2, "cannot read the SoundFont /no"},
    };
    for (const auto& [arguments, status, reason] : cases) {
        const CliRun result = run(arguments);
        EXPECT_EQ(result.status, status) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_TRUE(result.err.starts_with("tarnwick: ")) << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    }
}

TEST(PlayCommand, HelpExplainsTheOptionsInsteadOfPlaying) {
    const CliRun help = run("--play --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: tarnwick --play")) << help.out;
}

TEST(TickGrid, TicksBelongToTheStartPlusWholePeriodsUntilOneIsMissedEntirely) {
    const SteadyClock::time_point start{std::chrono::seconds(100)};
    // Each tick's arrival and the ideal time it belongs to, in ms after the start.
    const auto check = [&](int periodMs, std::vector<std::pair<int, int>> ticks) {
        TickGrid grid;
        grid.start(start, milliseconds(periodMs));
        for (const auto& [arrived, ideal] : ticks) {
            EXPECT_EQ(grid.tick(start + milliseconds(arrived)), start + milliseconds(ideal))
                << arrived << " ms";
        }
    };
    // On time, a little late, almost a whole period late, and then a hair
    // early (the timer caught up): the grid holds.
    check(175, {{175, 175}, {352, 350}, {699, 525}, {699, 700}});
    // A tick a period late or more (the event loop was blocked and one was
    // missed entirely) starts the grid again there: nothing is made up.
    check(100, {{100, 100}, {300, 300}, {406, 400}});
}

TEST(QtStepTimer, TicksOnAGridOfTheMinimumPeriodWhenGivenLess) {
    int argc = 1;
    char name[] = "timer_test";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    std::vector<SteadyClock::time_point> ideal;
    QtStepTimer timer([&](SteadyClock::time_point time) {
        ideal.push_back(time);
        if (ideal.size() == 5) {
            QCoreApplication::exit(0);
        }
    });
    const auto started = SteadyClock::now();
    timer.start(0); // from a settings file: would otherwise spin
    QCoreApplication::exec();
    timer.stop();
    EXPECT_FALSE(timer.isRunning());
    // Whole periods apart, unless a tick was missed entirely.
    const milliseconds period(QtStepTimer::kMinimumPeriodMs);
    EXPECT_GE(ideal.at(0), started + period);
    for (std::size_t k = 1; k < ideal.size(); ++k) {
        const auto gap = ideal[k] - ideal[k - 1];
        EXPECT_TRUE(gap == period || gap >= 2 * period) << gap.count() << " ns";
    }
}

} // namespace
} // namespace tarnwick
