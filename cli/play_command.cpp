#include "cli/play_command.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <variant>

#include <QCoreApplication>
#include <QTimer>

#include "cli/command_arguments.h"
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

constexpr int kExitSuccess = 0;
constexpr int kExitUsage = 2;

constexpr std::string_view kPlayUsage =
    "Usage: tarnwick --play [--settings FILE.tarn] [--rand-seed N]\n"
    "                       [--seconds S | --ticks T] [--output NAME] [--soundfont FILE]\n"
    "       tarnwick --list-outputs\n"
    "Play the piece as \"Play\" in the window does, until S seconds have passed or\n"
    "Ctrl-C, then stop as \"Stop\" does.\n"
    "\n"
    "  --seconds S       play for S seconds (default: until Ctrl-C)\n"
    "  --ticks T         play T steps back to back without waiting, then stop\n"
    "  --output NAME     builtin (default), port:NAME, none, or trace (every message\n"
    "                    to standard output as \"<tick> <status> <data1> <data2>\")\n"
    "  --soundfont FILE  a .sf2 or .sf3 file for the built-in synthesiser\n"
    "  --settings FILE   start from a saved settings file\n"
    "  --rand-seed N     seed the random generator with N (default: the clock)\n"
    "  --list-outputs    list the outputs that can be opened now\n";

// The longest --seconds: a week, far beyond any use, and small enough for the
// timer's milliseconds.
constexpr double kMaxSeconds = 7.0 * 24 * 3600;
// How long --play waits for the built-in synthesiser to load its font before
// it starts anyway (the notes are then heard from the moment it is ready).
constexpr auto kOpenTimeout = std::chrono::seconds(30);
// How often the event loop looks for Ctrl-C.
constexpr auto kInterruptPoll = std::chrono::milliseconds(50);
// After Stop, the time the built-in synthesiser needs to play Stop's
// messages (its latency and a period) before it is closed.
constexpr auto kStopDrain = std::chrono::milliseconds(100);

struct PlayOptions {
    bool help = false;
    bool listOutputs = false;
    bool play = false;
    std::optional<std::string> settingsPath;
    std::optional<std::uint32_t> randSeed;
    std::optional<double> seconds;
    std::optional<std::int64_t> ticks;
    std::string output{kDefaultOutputName};
    bool outputGiven = false;
    std::optional<std::string> soundFont;
};

std::optional<double> parseSeconds(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value > 0.0) ||
        value > kMaxSeconds) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> parseTicks(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::variant<PlayOptions, UsageError>
parsePlayOptions(std::span<const std::string_view> arguments) {
    PlayOptions options;
    bool otherOption = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--play" || argument == "--list-outputs") {
            bool& flag = argument == "--play" ? options.play : options.listOutputs;
            if (flag) {
                return UsageError{std::string(argument) + " given twice"};
            }
            flag = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        const bool takesValue = argument == "--settings" || argument == "--rand-seed" ||
                                argument == "--seconds" || argument == "--ticks" ||
                                argument == "--output" || argument == "--soundfont";
        if (!takesValue) {
            return UsageError{"unknown option '" + std::string(argument) + "'"};
        }
        if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
            return UsageError{std::string(argument) + " needs a value"};
        }
        const std::string_view value = arguments[++i];
        otherOption = true;
        const auto once = [&](bool given) -> std::optional<UsageError> {
            if (given) {
                return UsageError{std::string(argument) + " given twice"};
            }
            return std::nullopt;
        };
        std::optional<UsageError> error;
        if (argument == "--settings") {
            error = once(options.settingsPath.has_value());
            options.settingsPath = std::string(value);
        } else if (argument == "--rand-seed") {
            error = once(options.randSeed.has_value());
            options.randSeed = parseRandSeed(value);
            if (!options.randSeed) {
                return UsageError{"--rand-seed needs a decimal integer, not '" +
                                  std::string(value) + "'"};
            }
        } else if (argument == "--seconds") {
            error = once(options.seconds.has_value());
            options.seconds = parseSeconds(value);
            if (!options.seconds) {
                return UsageError{"--seconds needs a number of seconds above 0, not '" +
                                  std::string(value) + "'"};
            }
        } else if (argument == "--ticks") {
            error = once(options.ticks.has_value());
            options.ticks = parseTicks(value);
            if (!options.ticks) {
                return UsageError{"--ticks needs a whole number of ticks, not '" +
                                  std::string(value) + "'"};
            }
        } else if (argument == "--output") {
            error = once(options.outputGiven);
            options.outputGiven = true;
            options.output = std::string(value);
            if (!isOutputName(value)) {
                return UsageError{"there is no output called '" + std::string(value) +
                                  "' (builtin, port:NAME, none, trace)"};
            }
        } else {
            error = once(options.soundFont.has_value());
            options.soundFont = std::string(value);
        }
        if (error) {
            return *error;
        }
    }
    if (options.help) {
        return options;
    }
    if (options.play == options.listOutputs) {
        return UsageError{"give either --play or --list-outputs"};
    }
    if (options.listOutputs && otherOption) {
        return UsageError{"--list-outputs takes no options"};
    }
    if (options.seconds && options.ticks) {
        return UsageError{"give either --seconds or --ticks"};
    }
    if (options.soundFont && options.output != "builtin") {
        return UsageError{"--soundfont is for the output builtin"};
    }
    return options;
}

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

// The sequence every command runs first: start values with a drawn seed, the
// settings file if one is named, the controls round trip, the score.
std::optional<std::string> prepare(const PlayOptions& options, Performance& performance) {
    const SettingsLoader load = settingsFileLoader(options.settingsPath);
    const FileResult prepared =
        prepareSession(performance.random, load, performance.settings, performance.score);
    if (!prepared.ok()) {
        return "cannot load settings from " + prepared.message();
    }
    return std::nullopt;
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
    QTimer statusPoll;
    QObject::connect(&statusPoll, &QTimer::timeout,
                     [&output, &err, shown = output.status()]() mutable {
                         if (std::string now = output.status(); now != shown) {
                             err << "tarnwick: " << now << std::endl;
                             shown = std::move(now);
                         }
                     });
    statusPoll.start(kInterruptPoll);
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

int play(const PlayOptions& options, std::ostream& out, std::ostream& err) {
    if (options.soundFont && !isReadableFile(*options.soundFont)) {
        err << "tarnwick: cannot read the SoundFont " << *options.soundFont << '\n';
        return kExitUsage;
    }
    Performance performance{
        RandomGenerator(options.randSeed.value_or(tickCountMs())), {}, {}, {}, 0};
    if (const auto failure = prepare(options, performance)) {
        err << "tarnwick: " << *failure << '\n';
        return kExitUsage;
    }
    const InterruptGuard interrupts;
    OutputOptions outputOptions;
    outputOptions.name = options.output;
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
        playLive(performance, *output, options.seconds, out, err);
    }
    out.flush();
    if (!output->isSilent() && options.output == "builtin") {
        std::this_thread::sleep_for(kStopDrain);
    }
    closeMidiOutput(output);
    return kExitSuccess;
}

int listOutputs(std::ostream& out) {
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

} // namespace

bool isPlayCommand(std::span<const std::string_view> arguments) {
    return std::any_of(arguments.begin(), arguments.end(), [](std::string_view argument) {
        return argument == "--play" || argument == "--list-outputs";
    });
}

int runPlayCommand(std::span<const std::string_view> arguments, std::ostream& out,
                   std::ostream& err) {
    const auto parsed = parsePlayOptions(arguments);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        err << "tarnwick: " << error->message << '\n' << kPlayUsage;
        return kExitUsage;
    }
    const auto& options = std::get<PlayOptions>(parsed);
    if (options.help) {
        out << kPlayUsage;
        return kExitSuccess;
    }
    if (options.listOutputs) {
        return listOutputs(out);
    }
    return play(options, out, err);
}

} // namespace tarnwick
