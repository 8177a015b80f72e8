#include "cli/command_line.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "cli/command_arguments.h"
#include "cli/draw_score_command.h"
#include "cli/play_command.h"
#include "cli/score_json.h"
#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"

namespace tarnwick {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitCannotWrite = 1;
constexpr int kExitUsage = 2; // also: a settings file that cannot be read

constexpr std::string_view kUsage =
    "Usage: tarnwick COMMAND [--settings FILE.tarn] [--rand-seed N]\n"
    "Compose a permutating fugal canon, from a freshly drawn seed or a settings file.\n"
    "\n"
    "Commands:\n"
    "  --print-score          print the score as one line of JSON\n"
    "  --draw-score OUT.svg|OUT.png\n"
    "                         draw the score as a piano roll image\n"
    "  --export-midi OUT.mid  write the piece as a Standard MIDI File\n"
    "  --save-settings OUT.tarn\n"
    "                         write the settings, as the dialog would read them back\n"
    "  --play                 play the piece, looping (options: tarnwick --play --help)\n"
    "  --list-outputs         list the MIDI outputs that can be opened now\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Options:\n"
    "  --settings FILE.tarn   start from a saved settings file\n"
    "  --rand-seed N          seed the random generator with N (default: the clock)\n"
    "\n"
    "Exit status: 0 on success, 1 when the output cannot be written, 2 for bad\n"
    "usage or a settings file that cannot be read.\n";

enum class Action { None, PrintScore, ExportMidi, SaveSettings, Help, Version };

struct Options {
    Action action = Action::None;
    std::string outputPath; // for --export-midi and --save-settings
    std::optional<std::string> settingsPath;
    std::optional<std::uint32_t> randSeed;
};

std::optional<UsageError> setAction(Options& options, Action action, std::string_view argument) {
    if (options.action != Action::None) {
        return UsageError{"more than one command given ('" + std::string(argument) + "')"};
    }
    options.action = action;
    return std::nullopt;
}

std::variant<Options, UsageError> parseOptions(std::span<const std::string_view> arguments) {
    Options options;
    ArgumentReader reader(arguments);
    while (!reader.done()) {
        const std::string_view argument = reader.take();
        std::optional<UsageError> error;
        if (argument == "--print-score") {
            error = setAction(options, Action::PrintScore, argument);
        } else if (argument == "--export-midi" || argument == "--save-settings") {
            error = setAction(
                options, argument == "--export-midi" ? Action::ExportMidi : Action::SaveSettings,
                argument);
            const auto path = reader.takeValue();
            if (!path || path->empty()) {
                return UsageError{std::string(argument) + " needs an output file"};
            }
            options.outputPath = *path;
        } else if (argument == "--help" || argument == "-h") {
            error = setAction(options, Action::Help, argument);
        } else if (argument == "--version") {
            error = setAction(options, Action::Version, argument);
        } else if (argument == "--settings") {
            const auto path = reader.takeValue();
            if (!path || path->empty()) {
                return UsageError{"--settings needs a settings file"};
            }
            if (options.settingsPath) {
                return UsageError{"--settings given twice"};
            }
            options.settingsPath = std::string(*path);
        } else if (argument == "--rand-seed") {
            const auto value = reader.takeValue();
            if (!value) {
                return UsageError{"--rand-seed needs a number"};
            }
            if (options.randSeed) {
                return UsageError{"--rand-seed given twice"};
            }
            options.randSeed = parseRandSeed(*value);
            if (!options.randSeed) {
                return UsageError{"--rand-seed needs a decimal integer, not '" +
                                  std::string(*value) + "'"};
            }
        } else {
            return UsageError{"unknown option '" + std::string(argument) + "'"};
        }
        if (error) {
            return *error;
        }
    }
    return options;
}

// What every command works on once the shared sequence has run.
struct Session {
    RandomGenerator random;
    SongSettings settings;
    Score score;
};

// Seeds the generator and runs the shared sequence. On failure reports the
// settings file's problem and returns no session.
std::optional<Session> openSession(const Options& options, std::ostream& err) {
    Session session{RandomGenerator(options.randSeed.value_or(tickCountMs())), {}, {}};
    const SettingsLoader load = settingsFileLoader(options.settingsPath);
    const FileResult prepared =
        prepareSession(session.random, load, session.settings, session.score);
    if (!prepared.ok()) {
        err << "tarnwick: cannot load settings from " << prepared.message() << '\n';
        return std::nullopt;
    }
    return session;
}

int reportWrite(const FileResult& written, std::ostream& err) {
    if (!written.ok()) {
        err << "tarnwick: cannot write " << written.message() << '\n';
        return kExitCannotWrite;
    }
    return kExitSuccess;
}

int printScore(const Session& session, std::ostream& out) {
    out << scoreToJson(session.score) << '\n';
    return kExitSuccess;
}

int exportMidi(Session& session, const std::string& path, std::ostream& err) {
    const std::vector<MidiEvent> events =
        buildMidiEvents(session.settings, session.score, session.random);
    return reportWrite(writeMidiFile(path, session.settings, events), err);
}

int saveSettings(const Session& session, const std::string& path, std::ostream& err) {
    return reportWrite(saveSettingsFile(path, session.settings), err);
}

int runAction(const Options& options, std::ostream& out, std::ostream& err) {
    std::optional<Session> session = openSession(options, err);
    if (!session) {
        return kExitUsage;
    }
    switch (options.action) {
    case Action::PrintScore:
        return printScore(*session, out);
    case Action::ExportMidi:
        return exportMidi(*session, options.outputPath, err);
    case Action::SaveSettings:
        return saveSettings(*session, options.outputPath, err);
    default:
        return kExitUsage;
    }
}

} // namespace

int runCommandLine(std::span<const std::string_view> arguments, std::ostream& out,
                   std::ostream& err) {
#ifdef TARNWICK_HAS_PLAY_COMMAND
    if (isPlayCommand(arguments)) {
        return runPlayCommand(arguments, out, err);
    }
#endif
#ifdef TARNWICK_HAS_DRAW_COMMAND
    if (isDrawScoreCommand(arguments)) {
        return runDrawScoreCommand(arguments, out, err);
    }
#endif
    const auto parsed = parseOptions(arguments);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        err << "tarnwick: " << error->message << '\n' << kUsage;
        return kExitUsage;
    }
    const auto& options = std::get<Options>(parsed);
    switch (options.action) {
    case Action::PrintScore:
    case Action::ExportMidi:
    case Action::SaveSettings:
        return runAction(options, out, err);
    case Action::Help:
        out << kUsage;
        return kExitSuccess;
    case Action::Version:
        out << "tarnwick " << TARNWICK_VERSION << '\n';
        return kExitSuccess;
    case Action::None:
        break;
    }
    err << "tarnwick: no command given\n" << kUsage;
    return kExitUsage;
}

} // namespace tarnwick
