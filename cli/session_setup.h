#pragma once
// The sequence that every batch command runs before its action, the same as
// a user's opening of a settings file in the dialog followed by "Play":
// start values (with a seed drawn), the optional load, the controls round
// trip (writeControls, then readControls), the score and the drum notes.

#include <functional>
#include <optional>
#include <string>

#include "files/file_result.h"

namespace tarnwick {

struct SongSettings;
struct Score;
class RandomGenerator;

// Loads settings over the start values; the result says whether it worked.
using SettingsLoader = std::function<FileResult(SongSettings&)>;

// The loader that reads the named settings file, or none without a name.
SettingsLoader settingsFileLoader(const std::optional<std::string>& path);

// Runs the sequence with `random`, which the caller has seeded and goes on
// using afterwards (an export draws its velocities from it). Without a
// loader the start values stand. When the loader fails, the sequence stops
// there and its result is returned; settings and score are then not to be
// used.
FileResult prepareSession(RandomGenerator& random, const SettingsLoader& load,
                          SongSettings& settings, Score& score);

} // namespace tarnwick
