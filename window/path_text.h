#pragma once
// Converting between Qt's file names and std::filesystem paths without losing
// characters: on POSIX through the same byte encoding Qt opens files with, on
// Windows through UTF-16.

#include <filesystem>

#include <QString>

namespace tarnwick {

std::filesystem::path toFilesystemPath(const QString& fileName);
QString toQtFileName(const std::filesystem::path& path);

} // namespace tarnwick
