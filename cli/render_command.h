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

// Renders each line of the piece into a file of its own in the folder
// options.outputPath (voice1.wav, ..., drums.wav; the format from
// --format, WAV by default), with the exit statuses of renderAudio. Says on
// standard error by how much the stems' common gain was lowered, if it was.
int renderStems(const CommandOptions& options, std::ostream& out, std::ostream& err);

// --format names wav, flac or ogg.
UsageProblem checkStemsOptions(const CommandOptions& options);

// The output file's extension names a format.
UsageProblem checkRenderOptions(const CommandOptions& options);

} // namespace tarnwick
