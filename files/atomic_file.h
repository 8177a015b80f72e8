#pragma once
// Writing a whole file so that it is either replaced completely or not at all.

#include <cstdint>
#include <span>
#include <string>

#include "files/file_result.h"

namespace tarnwick {

// Writes `bytes` to a new temporary file in the target's folder, flushes and
// closes it, and only then renames it over the target. If any step fails the
// target is left as it was, the temporary file is removed, and the result
// names the target and the system's reason. An existing target keeps its
// permission bits; one that may not be written is refused, as an in-place
// write would be. A symbolic link is followed, so the file it names is
// replaced rather than the link.
FileResult writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace tarnwick
