#pragma once
// The commands that compose the piece and write it out at once. Each runs
// the session set-up first (see session_setup.h) and returns the exit status.

#include <iosfwd>
#include <optional>

#include "cli/command_table.h"
#include "files/file_result.h"
#include "playback/performance.h"

namespace tarnwick {

// Seeds the generator and runs the shared sequence: the piece every command
// works on. On failure reports the settings file's problem on `err` and
// returns no piece (exit kExitUsage).
std::optional<Piece> openSession(const CommandOptions& options, std::ostream& err);

// The exit status for a written file, reporting a failure on `err`.
int reportWrite(const FileResult& written, std::ostream& err);

// The score as one line of JSON on `out`.
int printScore(const CommandOptions& options, std::ostream& out, std::ostream& err);

// The piece as a Standard MIDI File at options.outputPath.
int exportMidi(const CommandOptions& options, std::ostream& out, std::ostream& err);

// The settings, as the controls hold them, as a settings file at options.outputPath.
int saveSettings(const CommandOptions& options, std::ostream& out, std::ostream& err);

} // namespace tarnwick
