#pragma once
// The commands that play the piece live, without the window (--play), and
// list where it can play (--list-outputs).

#include <iosfwd>
#include <string_view>

#include "cli/command_table.h"

namespace tarnwick {

// Plays until options.seconds have passed or Ctrl-C, or options.ticks steps
// back to back, and returns the exit status: 0, or 2 for settings or a
// SoundFont that cannot be read. Output that cannot sound is not an error:
// the performance runs silently and `err` says why.
int playPiece(const CommandOptions& options, std::ostream& out, std::ostream& err);

// One output a line: its name, then a few words about it.
int listOutputs(const CommandOptions& options, std::ostream& out, std::ostream& err);

// Takes the value of --output when it names an output.
UsageProblem readOutputName(std::string_view value, CommandOptions& options);

// A SoundFont is only for the built-in synthesiser.
UsageProblem checkPlayOptions(const CommandOptions& options);

} // namespace tarnwick
