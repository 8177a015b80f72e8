#pragma once
// The commands that compose the piece and write it out at once. Each runs
// the session set-up first (see session_setup.h) and returns the exit status.

#include <iosfwd>
#include <optional>

#include "cli/command_table.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/file_result.h"

namespace tarnwick {

// What every command works on once the shared sequence has run.
struct Session {
    RandomGenerator random;
    SongSettings settings;
    Score score;
};

// Seeds the generator and runs the shared sequence. On failure reports the
// settings file's problem on `err` and returns no session (exit kExitUsage).
std::optional<Session> openSession(const CommandOptions& options, std::ostream& err);

// The exit status for a written file, reporting a failure on `err`.
int reportWrite(const FileResult& written, std::ostream& err);

// The score as one line of JSON on `out`.
int printScore(const CommandOptions& options, std::ostream& out, std::ostream& err);

// The piece as a Standard MIDI File at options.outputPath.
int exportMidi(const CommandOptions& options, std::ostream& out, std::ostream& err);

// The settings, as the controls hold them, as a settings file at options.outputPath.
int saveSettings(const CommandOptions& options, std::ostream& out, std::ostream& err);

} // namespace tarnwick
