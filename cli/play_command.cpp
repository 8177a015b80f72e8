#include "cli/play_command.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include "cli/batch_commands.h"
#include "cli/exit_status.h"
#include "cli/interrupt_guard.h"
#include "link/link_steps.h"
#include "outputs/output_factory.h"
#include "playback/beat_position.h"
#include "playback/clock_steps.h"
#include "playback/manual_step_timer.h"
#include "playback/performance.h"
#include "playback/qt_step_timer.h"
#include "playback/transport_steps.h"
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
void playTicks(Performance& performance, std::int64_t ticks) {
    performance.play(SteadyClock::now());
    while (performance.ticksPlayed() < ticks && !InterruptGuard::requested()) {
        performance.tick(SteadyClock::now());
    }
    performance.stop(SteadyClock::now());
}

// Plays on the step timer until `seconds` have passed (if given) or Ctrl-C;
// following a transport (`transport`), whenever it rolls until then. A
// change of the output's status (its sound server going away or coming back)
// goes to standard error as it happens.
void playLive(Performance& performance, const OutputDevice& output, std::optional<double> seconds,
              bool following, std::ostream& out, std::ostream& err) {
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

    if (!following) {
        performance.play(SteadyClock::now());
    }
    out.flush();
    if (seconds) {
        end.start(std::chrono::milliseconds(static_cast<std::int64_t>(*seconds * 1000.0)));
    }
    QCoreApplication::exec();
    if (!following || performance.isPlaying()) {
        performance.stop(SteadyClock::now());
    }
}

// The arguments of our own event loop.
int kArgc = 1;
char kName[] = "tarnwick";
char* kArgv[] = {kName, nullptr};

// The step source: back-to-back ticks for --ticks, else the precise timer on
// an event loop of our own (unless the caller runs one).
struct StepSource {
    std::optional<QCoreApplication> application;
    std::unique_ptr<StepTimer> timer;
};

void makeStepSource(StepSource& source, bool manual,
                    std::function<void(SteadyClock::time_point)> onTick) {
    if (manual) {
        source.timer = std::make_unique<ManualStepTimer>();
        return;
    }
    if (QCoreApplication::instance() == nullptr) {
        source.application.emplace(kArgc, kArgv);
    }
    source.timer = std::make_unique<QtStepTimer>(std::move(onTick));
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
    std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    const InterruptGuard interrupts;
    std::optional<Performance> performance;
    StepSource source;
    const bool following = options.sync != TempoSource::Internal;
    makeStepSource(source, options.ticks.has_value() || following,
                   [&](SteadyClock::time_point idealTime) {
                       performance->tick(idealTime);
                       out.flush();
                   });
    performance.emplace(*piece, *source.timer);

    OutputOptions outputOptions;
    outputOptions.name = outputName(options);
    outputOptions.soundFont = options.soundFont.value_or("");
    outputOptions.traceStream = &out;
    outputOptions.ticksPlayed = &performance->ticksPlayed();
    std::unique_ptr<OutputDevice> opened = openMidiOutput(outputOptions);
    OutputDevice& output = *opened;
    performance->switchOutput(std::move(opened), SteadyClock::now());
    performance->setClockEnabled(options.midiClock, SteadyClock::now());
    performance->setStepsPerBeat(options.stepsPerBeat);
    std::unique_ptr<TransportSteps> transport;
    std::unique_ptr<JackTransport> timebase;
    std::unique_ptr<ClockSteps> clock;
    std::unique_ptr<LinkSteps> link;
    if (options.sync == TempoSource::AbletonLink) {
        if (!source.application && QCoreApplication::instance() == nullptr) {
            source.application.emplace(kArgc, kArgv);
        }
        link = std::make_unique<LinkSteps>(
            *performance, options.stepsPerBeat,
            tempoOfStepMs(piece->settings.stepMs, options.stepsPerBeat),
            [&err](const std::string& line) { err << "tarnwick: " << line << std::endl; });
    } else if (options.sync == TempoSource::MidiClockIn) {
        if (!source.application && QCoreApplication::instance() == nullptr) {
            source.application.emplace(kArgc, kArgv);
        }
        ClockFault failure = ClockFault::None;
        clock = ClockSteps::open(
            *performance, &output, options.clockPort, options.stepsPerBeat,
            [&err](const std::string& line) { err << "tarnwick: " << line << std::endl; }, failure);
        if (!clock) {
            err << "tarnwick: " << clockFaultLine(failure, options.clockPort) << '\n';
            performance->switchOutput(nullptr, SteadyClock::now()).reset();
            return kExitCannotWrite;
        }
    } else if (following || options.jackTimebase) {
        if (!source.application && QCoreApplication::instance() == nullptr) {
            source.application.emplace(kArgc, kArgv);
        }
        std::string failure;
        const auto report = [&err](const std::string& line) {
            err << "tarnwick: " << line << std::endl;
        };
        if (following) {
            transport = TransportSteps::open(*performance, options.stepsPerBeat,
                                             piece->settings.stepMs, report, failure);
        } else if ((timebase = JackTransport::open(failure))) {
            timebase->setTempo(piece->settings.stepMs, options.stepsPerBeat);
            if (!timebase->setTimebaseMaster(true)) {
                failure = "another JACK client is the timebase master";
                timebase.reset();
            }
        }
        if (!transport && !timebase) {
            err << "tarnwick: cannot " << (following ? "follow" : "be master of")
                << " the JACK transport: " << failure << '\n';
            performance->switchOutput(nullptr, SteadyClock::now()).reset();
            return kExitCannotWrite;
        }
    }
    if (!options.ticks) {
        waitUntilOpen(output);
    }
    if (output.isSilent()) {
        err << "tarnwick: " << statusLine(output.state()) << '\n';
    }
    if (options.ticks) {
        playTicks(*performance, *options.ticks);
    } else {
        playLive(*performance, output, options.seconds, following, out, err);
    }
    out.flush();
    if (!output.isSilent() && outputOptions.name == kDefaultOutputName) {
        std::this_thread::sleep_for(kStopDrain);
    }
    transport.reset();
    link.reset();
    clock.reset();
    performance->switchOutput(nullptr, SteadyClock::now()).reset(); // closes the output
    return kExitSuccess;
}

int listOutputs(const CommandOptions& /*options*/, std::ostream& out, std::ostream& err) {
    const auto choices = listMidiOutputs();
    std::size_t width = 0;
    for (const OutputChoice& choice : choices) {
        width = std::max(width, choice.name.size());
    }
    for (const OutputChoice& choice : choices) {
        out << choice.name << std::string(width + 2 - choice.name.size(), ' ') << choice.description
            << '\n';
    }
    if (const auto missing = missingMidiPorts(choices)) {
        err << "tarnwick: " << silenceReason(*missing) << '\n';
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
    if (options.sync != TempoSource::Internal && options.ticks) {
        return "--ticks is for --sync internal";
    }
    if (options.jackTimebase && options.sync != TempoSource::Internal) {
        return "--jack-timebase is for --sync internal";
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
