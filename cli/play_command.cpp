#include "cli/play_command.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include "cli/exit_status.h"
#include "cli/interrupt_guard.h"
#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "outputs/output_factory.h"
#include "playback/manual_step_timer.h"
#include "playback/midi_clock.h"
#include "playback/play_state.h"
#include "playback/qt_step_timer.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "synth/soundfont_locator.h"

namespace tarnwick {

namespace {

// How long --play waits for the built-in synthesiser to load its font before
// it starts anyway (the notes are then heard from the moment it is ready).
constexpr auto kOpenTimeout = std::chrono::seconds(30);
// How often the event loop looks for Ctrl-C.
constexpr auto kInterruptPoll = std::chrono::milliseconds(50);
// After Stop, the time the built-in synthesiser needs to play Stop's
// messages (its latency and a period) before it is closed.
constexpr auto kStopDrain = std::chrono::milliseconds(100);

// Everything a performance works on.
struct Performance {
    RandomGenerator random;
    SongSettings settings;
    Score score;
    PlayState state;
    MidiClock clock;
    std::int64_t ticksPlayed = 0;
};

// Play's set-up, then the clock's Start.
void start(Performance& p, MidiOutput& output, StepTimer& timer) {
    output.setMessageTime(SteadyClock::now());
    startPlayback(p.settings, p.score, p.state, output, timer);
    p.clock.start(output, std::chrono::milliseconds(timer.periodMs()));
}

// Stop's messages, then the clock's Stop.
void stop(Performance& p, MidiOutput& output, StepTimer& timer) {
    output.setMessageTime(SteadyClock::now());
    stopPlayback(output, timer);
    p.clock.stop(output);
}

void tick(Performance& p, MidiOutput& output, SteadyClock::time_point time) {
    ++p.ticksPlayed;
    playClockedStep(p.state, p.score, p.settings, p.random, p.clock, output, time);
}

// Waits for the built-in synthesiser to finish opening, or for Ctrl-C.
void waitUntilOpen(OutputDevice& output) {
    const auto giveUp = SteadyClock::now() + kOpenTimeout;
    while (!InterruptGuard::requested() && SteadyClock::now() < giveUp) {
        if (output.waitUntilOpen(kInterruptPoll)) {
            return;
        }
    }
}

// T ticks back to back, then Stop.
void playTicks(Performance& p, MidiOutput& output, std::int64_t ticks) {
    ManualStepTimer timer;
    start(p, output, timer);
    while (p.ticksPlayed < ticks && !InterruptGuard::requested()) {
        tick(p, output, SteadyClock::now());
    }
    stop(p, output, timer);
}

// Plays on the step timer until `seconds` have passed (if given) or Ctrl-C.
// A change of the output's status (its sound server going away or coming
// back) goes to standard error as it happens.
void playLive(Performance& p, OutputDevice& output, std::optional<double> seconds,
              std::ostream& out, std::ostream& err) {
    static int argc = 1;
    static char name[] = "tarnwick";
    static char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> ownApplication;
    if (QCoreApplication::instance() == nullptr) {
        ownApplication.emplace(argc, argv);
    }
    QtStepTimer timer([&](SteadyClock::time_point idealTime) {
        tick(p, output, idealTime);
        out.flush();
    });
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, [] {
        if (InterruptGuard::requested()) {
            QCoreApplication::exit(0);
        }
    });
    interruptPoll.start(kInterruptPoll);
    QTimer statusPoll;
    QObject::connect(&statusPoll, &QTimer::timeout,
                     [&output, &err, shown = output.state()]() mutable {
                         if (OutputState now = output.state(); now != shown) {
                             err << "tarnwick: " << statusLine(now) << std::endl;
                             shown = std::move(now);
                         }
                     });
    statusPoll.start(kInterruptPoll);
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, [] { QCoreApplication::exit(0); });

    start(p, output, timer);
    out.flush();
    if (seconds) {
        end.start(std::chrono::milliseconds(static_cast<std::int64_t>(*seconds * 1000.0)));
    }
    QCoreApplication::exec();
    stop(p, output, timer);
}

std::string outputName(const CommandOptions& options) {
    return options.outputName.value_or(std::string(kDefaultOutputName));
}

} // namespace

int playPiece(const CommandOptions& options, std::ostream& out, std::ostream& err) {
    if (options.soundFont && !isReadableFile(*options.soundFont)) {
        err << "tarnwick: cannot read the SoundFont " << *options.soundFont << '\n';
        return kExitUsage;
    }
    Performance performance{
        RandomGenerator(options.randSeed.value_or(tickCountMs())), {}, {}, {}, {}, 0};
    const FileResult prepared =
        prepareSession(performance.random, settingsFileLoader(options.settingsPath),
                       performance.settings, performance.score);
    if (!prepared.ok()) {
        err << "tarnwick: cannot load settings from " << prepared.message() << '\n';
        return kExitUsage;
    }
    const InterruptGuard interrupts;
    OutputOptions outputOptions;
    outputOptions.name = outputName(options);
    outputOptions.soundFont = options.soundFont.value_or("");
    outputOptions.traceStream = &out;
    outputOptions.ticksPlayed = &performance.ticksPlayed;
    std::unique_ptr<OutputDevice> output = openMidiOutput(outputOptions);
    performance.clock.setEnabled(options.midiClock, *output);
    if (!options.ticks) {
        waitUntilOpen(*output);
    }
    if (output->isSilent()) {
        err << "tarnwick: " << statusLine(output->state()) << '\n';
    }
    if (options.ticks) {
        playTicks(performance, *output, *options.ticks);
    } else {
        playLive(performance, *output, options.seconds, out, err);
    }
    out.flush();
    if (!output->isSilent() && outputOptions.name == kDefaultOutputName) {
        std::this_thread::sleep_for(kStopDrain);
    }
    closeMidiOutput(output);
    return kExitSuccess;
}

int listOutputs(const CommandOptions& /*options*/, std::ostream& out, std::ostream& /*err*/) {
    const auto choices = listMidiOutputs();
    std::size_t width = 0;
    for (const OutputChoice& choice : choices) {
        width = std::max(width, choice.name.size());
    }
    for (const OutputChoice& choice : choices) {
        out << choice.name << std::string(width + 2 - choice.name.size(), ' ') << choice.description
            << '\n';
    }
    return kExitSuccess;
}

UsageProblem readOutputName(std::string_view value, CommandOptions& options) {
    if (!isOutputName(value)) {
        return "there is no output called '" + std::string(value) + "' (" + outputNamesText() + ")";
    }
    options.outputName = std::string(value);
    return std::nullopt;
}

UsageProblem checkPlayOptions(const CommandOptions& options) {
    if (options.soundFont && outputName(options) != kDefaultOutputName) {
        return "--soundfont is for the output builtin";
    }
    const OutputBackend* backend = findOutputBackend(outputName(options));
    if (options.midiClock && backend != nullptr && !backend->takesClock) {
        std::string takers;
        for (const OutputBackend& b : outputBackends()) {
            takers += b.takesClock ? (takers.empty() ? "" : ", ") + std::string(b.spelled) : "";
        }
        return "--midi-clock is for the outputs " + takers;
    }
    return std::nullopt;
}

} // namespace tarnwick
