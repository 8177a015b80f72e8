#pragma once
// The command that draws the piece as a piano roll image:
//
//   tarnwick --draw-score OUT.svg|OUT.png [--settings FILE.tarn] [--rand-seed N]

#include <iosfwd>
#include <span>
#include <string_view>

namespace tarnwick {

// True when the arguments ask for --draw-score.
bool isDrawScoreCommand(std::span<const std::string_view> arguments);

// Runs the start sequence of --print-score, then draws one pass of the score:
// the notes as the player sounds them, and the drum hits that --export-midi
// with the same options writes. The file's extension (.svg or .png, in any
// case) chooses the format. Returns 0 on success, 1 when the image cannot be
// written, 2 for bad usage or settings that cannot be read (nothing is written
// then).
int runDrawScoreCommand(std::span<const std::string_view> arguments, std::ostream& out,
                        std::ostream& err);

} // namespace tarnwick
