#pragma once
// Finding a General MIDI SoundFont for the built-in synthesiser.

#include <span>
#include <string>

namespace tarnwick {

// Where General MIDI SoundFonts are installed, most preferred first: Debian's
// default-GM alternative (fluid-soundfont-gm provides it), then the usual
// files of the common distributions.
std::span<const char* const> defaultSoundFontPaths();

// The first of `candidates` that is a readable regular file (after following
// links), or an empty string.
std::string findSoundFont(std::span<const char* const> candidates);

// The name the status line shows for a font: its file name without the
// extension, after following links ("FluidR3_GM" for default-GM.sf2).
std::string soundFontDisplayName(const std::string& path);

// True when `path` names a regular file that can be opened for reading.
bool isReadableFile(const std::string& path);

} // namespace tarnwick
