#pragma once
// The command that renders the piece to a sound file (--render-audio).

#include <iosfwd>

#include "cli/command_table.h"

namespace tarnwick {

// Renders the piece, as --export-midi would write it, with the built-in
// synthesiser into options.outputPath (.wav, .flac or .ogg). Exit status: 0;
// 1 when the file cannot be written; 2 for settings or a SoundFont that
// cannot be read (nothing is written then); 130 after Ctrl-C, which leaves no
// file. Shows its progress on standard error when that is a terminal.
int renderAudio(const CommandOptions& options, std::ostream& out, std::ostream& err);

// The output file's extension names a format.
UsageProblem checkRenderOptions(const CommandOptions& options);

} // namespace tarnwick
