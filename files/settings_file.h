#pragma once
// The settings file: a flat image of SongSettings, 78 little-endian 32-bit
// two's-complement integers (312 bytes). Offset 0 holds the version word,
// written as 1 and not examined on load; the fields follow in the order of
// the record, each array element by element, the per-voice arrays field by
// field (all three instruments, then all three low octaves, ...):
//
//   0 version     4 seedCount   8 seed[8]     40 scaleIndex  44 instrument[3]
//  56 lowOctave  68 highOctave 80 voiceOffset 92 volume     104 hold[3]
// 116 modulation 128 portamento 140 beatLength 144 stepMs   148 drumVolume
// 152 drumKit[8] 184 transpose 188 repeatLength 192 harmonyOffset
// 196 reserved[29]                                          312 end
//
// There is no header text, length or checksum. Loaded values are taken as
// they are: clamping happens when the controls are next read.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "files/file_result.h"

namespace tarnwick {

struct SongSettings;

inline constexpr std::size_t kSettingsFileSize = 312;
inline constexpr std::int32_t kSettingsFileVersion = 1;

using SettingsFileBytes = std::array<std::uint8_t, kSettingsFileSize>;

// The file image of the settings, version word 1 first.
SettingsFileBytes encodeSettings(const SongSettings& settings);

// Every field from the image; the version word is skipped.
void decodeSettings(const SettingsFileBytes& bytes, SongSettings& settings);

// The contents of a settings file, as read from disk, into the settings: a
// longer file gives its first 312 bytes, a shorter one changes nothing and
// returns the reason ("not a Tarnwick settings file: 96 bytes, 312 expected").
// Returns an empty text on success.
std::string decodeSettingsFile(std::span<const std::uint8_t> contents, SongSettings& settings);

// Writes the settings atomically: the file is replaced whole or not at all.
[[nodiscard]] FileResult saveSettingsFile(const std::string& path, const SongSettings& settings);

// Reads the file's first 312 bytes into the settings. A file that cannot be
// opened or read, or that is shorter than 312 bytes, changes nothing.
[[nodiscard]] FileResult loadSettingsFile(const std::string& path, SongSettings& settings);

} // namespace tarnwick
