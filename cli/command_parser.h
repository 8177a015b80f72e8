#pragma once
// Reading a command line against the tables of commands and options.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "cli/command_table.h"

namespace tarnwick {

struct ParsedCommandLine {
    const CommandEntry* command = nullptr;
    // Show the command's help page instead of running it: --help alone, or
    // with a command that has a page of its own.
    bool helpAsked = false;
    CommandOptions options;
};

struct UsageError {
    std::string reason; // one line, without the program's name
    // The command the line was about, whose help fits best; null for none.
    const CommandEntry* command = nullptr;
};

// Options are written "--name value" or "--name=value"; -h and -v stand for
// --help and --version. Each command line asks for exactly one command, and
// gives each option at most once, with a value where it takes one.
std::variant<ParsedCommandLine, UsageError>
parseCommandLine(std::span<const std::string_view> arguments);

// The settings file the window is to open with, when the arguments are one
// file name and nothing else ("song.tarn", or "-- -odd.tarn"); nothing for
// every other command line, which names a command.
std::optional<std::string> windowFileArgument(std::span<const std::string_view> arguments);

} // namespace tarnwick
