#pragma once
// The commands and options of the command line, as data. Parsing, the usage
// checks and the help are all derived from these two tables, so a new command
// is one entry here: its option, its value, the options it takes and what it
// runs.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "playback/beat_position.h"
#include "playback/tempo_source.h"

namespace tarnwick {

// Everything the options of one command line set, once read and checked.
struct CommandOptions {
    std::string outputPath; // the command's own value, as in --export-midi OUT.mid
    std::optional<std::string> settingsPath;
    std::optional<std::uint32_t> randSeed;
    std::optional<double> seconds;
    std::optional<std::int64_t> ticks;
    std::optional<std::string> outputName;
    std::optional<std::string> soundFont;
    bool midiClock = false;
    bool tracks = false;                    // --export-midi: one track per line
    std::optional<std::string> audioFormat; // --render-stems: wav, flac or ogg
    TempoSource sync = TempoSource::Internal;
    std::string clockPort; // --sync clock:PORT
    int stepsPerBeat = kDefaultStepsPerBeat;
    bool jackTimebase = false;
};

// Why a value or a combination of options is refused, or nothing when it is fine.
using UsageProblem = std::optional<std::string>;

struct OptionEntry {
    std::string_view name;      // without the leading "--"
    std::string_view valueName; // shown in the help, as in "--rand-seed N"; empty for a switch
    std::string_view help;      // one line or more, each at most 55 characters
    std::string_view needs;     // completes "--NAME needs ..." for a missing value
    // Checks the value (non-empty, or empty for a switch) and stores it.
    UsageProblem (*read)(std::string_view value, CommandOptions& options);
};

// A help page of its own, shown by "--COMMAND --help", which several commands
// may share; the first command that names it is its subject.
struct HelpPage {
    std::string_view description;
};

// Options of which at most one may be given, as in [--seconds S | --ticks T].
using OptionChoice = std::vector<std::string_view>;

using RunCommand = int (*)(const CommandOptions& options, std::ostream& out, std::ostream& err);

struct CommandEntry {
    std::string_view name;           // the option that asks for it, without the leading "--"
    char shortName = 0;              // as in -h; 0 for none
    std::string_view valueName = {}; // its own value, stored as outputPath; empty for none
    std::string_view help = {};
    std::vector<OptionChoice> takes = {};
    const HelpPage* page = nullptr;
    // Rules between the command's options beyond what `takes` says.
    UsageProblem (*check)(const CommandOptions& options) = nullptr;
    // Null only for help, which the command line answers itself.
    RunCommand run = nullptr;
};

inline constexpr std::string_view kHelpCommand = "help";

std::span<const CommandEntry> commandTable();
std::span<const OptionEntry> optionTable();

const CommandEntry* findCommand(std::string_view name);
const OptionEntry* findOption(std::string_view name);

} // namespace tarnwick
