#pragma once
// The commands that compose the piece and write it out at once. Each runs
// the session set-up first (see session_setup.h) and returns the exit status.

#include <iosfwd>

#include "cli/command_table.h"

namespace tarnwick {

// The score as one line of JSON on `out`.
int printScore(const CommandOptions& options, std::ostream& out, std::ostream& err);

// The piece as a Standard MIDI File at options.outputPath.
int exportMidi(const CommandOptions& options, std::ostream& out, std::ostream& err);

// The settings, as the controls hold them, as a settings file at options.outputPath.
int saveSettings(const CommandOptions& options, std::ostream& out, std::ostream& err);

} // namespace tarnwick
