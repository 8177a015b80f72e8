// `tarnwick --play` in-process, seen through the trace, and its step timer.

#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>
#include <tuple>
#include <unistd.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/randomisers.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/qt_step_timer.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "tests/cli/cli_run.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using std::chrono::milliseconds;
using testing::runCli;

// What a performance sends, as trace lines formatted here on their own.
struct TickRecorder : MidiOutput {
    void send(std::uint32_t message) override {
        char line[64];
        std::snprintf(line, sizeof line, "%lld %02X %02X %02X", static_cast<long long>(ticks),
                      messageStatus(message), messageData1(message), messageData2(message));
        text += std::string(line) + "\n";
    }
    std::int64_t ticks = 0;
    std::string text;
};

// What Play, `ticks` ticks and Stop send through the library itself.
std::string expectedTrace(std::uint32_t seed, std::int64_t ticks,
                          const std::optional<std::string>& path) {
    RandomGenerator random(seed);
    SongSettings settings;
    Score score;
    EXPECT_TRUE(prepareSession(random, settingsFileLoader(path), settings, score).ok());
    PlayState state;
    ManualStepTimer timer;
    TickRecorder recorder;
    startPlayback(settings, score, state, recorder, timer);
    for (recorder.ticks = 1; recorder.ticks <= ticks; ++recorder.ticks) {
        playStep(state, score, settings, random, recorder);
    }
    recorder.ticks = ticks;
    stopPlayback(recorder, timer);
    return recorder.text;
}

TEST(PlayCommand, TheTraceIsExactlyWhatTheLibrarySends) {
    testing::TempDir folder;
    const std::string randomised = folder.file("randomised.tarn");
    RandomGenerator draw(4242);
    SongSettings settings;
    randomiseAll(settings, draw);
    ASSERT_TRUE(saveSettingsFile(randomised, settings).ok());

    const std::tuple<std::string, long long, bool> cases[] = {
        // The options, the ticks played (-1: as many as the time allowed), Ctrl-C.
        {"--ticks=40 --settings " + randomised, 40, false},
        {"--seconds 0.4", -1, false}, // on the real timer, 175 ms per step
        {"--seconds 60", -1, true},
    };
    for (const auto& [arguments, expectedTicks, interrupt] : cases) {
        std::thread interrupter([interrupt = interrupt] {
            if (interrupt) {
                std::this_thread::sleep_for(milliseconds(600));
                kill(getpid(), SIGINT);
            }
        });
        const testing::CliRun result = runCli("--play --output=trace --rand-seed 11 " + arguments);
        interrupter.join();
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        // All Sound Off opens the trace; Stop's last, at the ticks played, ends it.
        EXPECT_TRUE(result.out.starts_with("0 B0 78 00\n"));
        const std::string last =
            result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1);
        const long long ticks = std::stoll(last);
        EXPECT_EQ(last, std::to_string(ticks) + " B2 78 00\n");
        // As many as asked for; or some, far fewer than a minute's 342.
        EXPECT_TRUE(expectedTicks >= 0 ? ticks == expectedTicks : ticks >= 1 && ticks < 300);
        const bool fromFile = arguments.find("--settings") != std::string::npos;
        EXPECT_EQ(result.out,
                  expectedTrace(11, ticks, fromFile ? std::optional(randomised) : std::nullopt));
    }
}

TEST(PlayCommand, SaysWhatIsWrongOnStandardError) {
    // Silent outputs play silently; bad usage and unreadable files end first.
    const std::tuple<std::string, int, std::string> cases[] = {
        {"--play --ticks 3 --output none", 0, "No sound: the output is none\n"},
        {"--play --seconds 1 --ticks 1", 2, "give either --seconds or --ticks\n"},
        {"--play --seconds 1e9", 2, "--seconds needs a number of seconds above 0, not '1e9'\n"},
        {"--play --ticks -1", 2, "--ticks needs a whole number of ticks, not '-1'\n"},
        {"--play --output speakers", 2, "there is no output called 'speakers'"},
        {"--play --output none --soundfont x.sf2", 2, "--soundfont is for the output builtin\n"},
        {"--play --midi-clock", 2, "--midi-clock is for the outputs port:NAME, virtual, trace\n"},
        {"--play --output=trace --midi-clock=on", 2, "--midi-clock takes no value\n"},
        {"--play --play", 2, "--play given twice\n"},
        {"--list-outputs --output none", 2, "--list-outputs takes no options\n"},
        {"--play --ticks 1 --settings /nonexistent/x.tarn", 2, "cannot load settings from /no"},
        {"--play --ticks 1 --soundfont /nonexistent/x.sf2", 2, "cannot read the SoundFont /no"},
        {"--render-audio x.mp3", 2,
         "--render-audio: the file name must end in .wav, .flac or .ogg"},
        {"--render-audio x.wav --settings /no/x.tarn", 2, "cannot load settings from /no"},
        {"--render-audio x.wav --soundfont /no/x.sf2", 2, "cannot read the SoundFont /no/x.sf2\n"},
        {"--render-audio /no/x.wav", 1, "cannot write /no/x.wav: No such file or directory\n"},
        {"--draw-score x.gif", 2, "--draw-score writes .svg or .png, not 'x.gif'\n"},
        {"--draw-score x.svg --settings /no/x.tarn", 2, "cannot load settings from /no/x.tarn"},
        {"--draw-score /no/x.png", 1, "cannot write /no/x.png"},
    };
    for (const auto& [arguments, status, reason] : cases) {
        const testing::CliRun result = runCli(arguments);
        EXPECT_EQ(result.status, status) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_TRUE(result.err.starts_with("tarnwick: " + reason)) << result.err;
    }
    // Its own help, also after bad usage.
    const std::string usage = "Usage: tarnwick --play [--settings FILE.tarn] [--rand-seed N]\n";
    EXPECT_NE(runCli("--play --bogus").err.find("\n" + usage), std::string::npos);
    EXPECT_TRUE(runCli("--play -h").out.starts_with(usage));
    EXPECT_TRUE(runCli("--render-audio --help").out.starts_with("Usage: tarnwick --render-audio"));
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
