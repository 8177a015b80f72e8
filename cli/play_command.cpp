#include "cli/play_command.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include "cli/exit_status.h"
#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "outputs/output_factory.h"
#include "outputs/soundfont_locator.h"
#include "playback/manual_step_timer.h"
#include "playback/play_state.h"
#include "playback/qt_step_timer.h"
#include "playback/step_player.h"
#include "playback/transport.h"

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

// Ctrl-C (SIGINT) and SIGTERM while the command runs: the first one asks the
// performance to stop as "Stop" does; a second one ends the program at once.
// A signal handler can only reach a flag of static storage.
volatile std::sig_atomic_t interruptRequested = 0;

extern "C" void requestInterrupt(int /*signal*/) {
    interruptRequested = 1;
}

class InterruptGuard {
  public:
    InterruptGuard() {
        interruptRequested = 0;
        struct sigaction action {};
        action.sa_handler = &requestInterrupt;
        sigemptyset(&action.sa_mask);
        // The second signal takes its usual course.
        action.sa_flags = static_cast<int>(SA_RESETHAND);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    static bool requested() { return interruptRequested != 0; }

  private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

// Everything a performance works on.
struct Performance {
    RandomGenerator random;
    SongSettings settings;
    Score score;
    PlayState state;
    std::int64_t ticksPlayed = 0;
};

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
    output.setMessageTime(SteadyClock::now());
    startPlayback(p.settings, p.score, p.state, output, timer);
    for (std::int64_t k = 1; k <= ticks && !InterruptGuard::requested(); ++k) {
        p.ticksPlayed = k;
        output.setMessageTime(SteadyClock::now());
        playStep(p.state, p.score, p.settings, p.random, output);
    }
    output.setMessageTime(SteadyClock::now());
    stopPlayback(output, timer);
}

// Plays on the step timer until `seconds` have passed (if given) or Ctrl-C.
void playLive(Performance& p, MidiOutput& output, std::optional<double> seconds,
              std::ostream& out) {
    static int argc = 1;
    static char name[] = "tarnwick";
    static char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> ownApplication;
    if (QCoreApplication::instance() == nullptr) {
        ownApplication.emplace(argc, argv);
    }
    QtStepTimer timer([&](SteadyClock::time_point idealTime) {
        ++p.ticksPlayed;
        output.setMessageTime(idealTime);
        playStep(p.state, p.score, p.settings, p.random, output);
        out.flush();
    });
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, [] {
        if (InterruptGuard::requested()) {
            QCoreApplication::exit(0);
        }
    });
    interruptPoll.start(kInterruptPoll);
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, [] { QCoreApplication::exit(0); });

    output.setMessageTime(SteadyClock::now());
    startPlayback(p.settings, p.score, p.state, output, timer);
    out.flush();
    if (seconds) {
        end.start(std::chrono::milliseconds(static_cast<std::int64_t>(*seconds * 1000.0)));
    }
    QCoreApplication::exec();
    output.setMessageTime(SteadyClock::now());
    stopPlayback(output, timer);
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
        RandomGenerator(options.randSeed.value_or(tickCountMs())), {}, {}, {}, 0};
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
    if (!options.ticks) {
        waitUntilOpen(*output);
    }
    if (output->isSilent()) {
        err << "tarnwick: " << output->status() << '\n';
    }
    if (options.ticks) {
        playTicks(performance, *output, *options.ticks);
    } else {
        playLive(performance, *output, options.seconds, out);
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
        return "there is no output called '" + std::string(value) +
               "' (builtin, port:NAME, none, trace)";
    }
    options.outputName = std::string(value);
    return std::nullopt;
}

UsageProblem checkPlayOptions(const CommandOptions& options) {
    if (options.soundFont && outputName(options) != kDefaultOutputName) {
        return "--soundfont is for the output builtin";
    }
    return std::nullopt;
}

} // namespace tarnwick
