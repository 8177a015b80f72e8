#pragma once
// The command that draws the piece as a piano roll image:
//
//   tarnwick --draw-score OUT.svg|OUT.png [--settings FILE.tarn] [--rand-seed N]

#include <iosfwd>

#include "cli/command_table.h"

namespace tarnwick {

// Refuses an image name that ends in neither .svg nor .png (in any case).
UsageProblem checkDrawScoreOptions(const CommandOptions& options);

// Runs the start sequence of --print-score, then draws one pass of the score:
// the notes as the player sounds them, and the drum hits that --export-midi
// with the same options writes. The file's extension chooses the format.
// Returns 0 on success, 1 when the image cannot be written, 2 for settings
// that cannot be read (nothing is written then).
int drawScore(const CommandOptions& options, std::ostream& out, std::ostream& err);

} // namespace tarnwick
