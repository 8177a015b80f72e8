#pragma once
// The commands that play the piece live, without the window:
//
//   tarnwick --play [--settings FILE.tarn] [--rand-seed N]
//                   [--seconds S | --ticks T] [--output NAME] [--soundfont FILE]
//   tarnwick --list-outputs

#include <iosfwd>
#include <span>
#include <string_view>

namespace tarnwick {

// True when the arguments ask for --play or --list-outputs.
bool isPlayCommand(std::span<const std::string_view> arguments);

// Runs --play or --list-outputs and returns the exit status: 0 on success,
// 2 for bad usage or settings that cannot be read. Output that cannot sound
// is not an error: the performance runs silently and standard error says why.
int runPlayCommand(std::span<const std::string_view> arguments, std::ostream& out,
                   std::ostream& err);

} // namespace tarnwick
