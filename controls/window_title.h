#pragma once
// The main window's title after a file was chosen: the file's name without its
// last extension.

#include <filesystem>
#include <string>

namespace tarnwick {

// The file name of the path, cut at its last full stop ("my.song.tarn" gives
// "my.song", "song" stays "song"); a full stop in a folder name does not count.
// Separators are the platform's. A path that names no folder at all (no
// separator) gives an empty title. The result is UTF-8.
std::string titleFromPath(const std::filesystem::path& path);

} // namespace tarnwick
