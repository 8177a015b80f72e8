#pragma once
// What the plugin does off the audio thread, on the host's worker thread:
// bringing the settings into range as the window's controls do, composing
// their score, and loading a settings file. These allocate and read files,
// so run() only ever asks for them (LV2 worker extension).

#include <array>
#include <cstdint>

#include "composition/score.h"
#include "composition/song_settings.h"

namespace tarnwick::plugin {

inline constexpr std::size_t kPathCapacity = 1024;

// One request, copied whole through the host's worker queue.
struct WorkRequest {
    enum class Kind : std::uint32_t { Compose, LoadFile };
    Kind kind = Kind::Compose;
    // Which settings the request starts from: a restore begins a new
    // generation, and answers to older requests are dropped.
    std::uint32_t generation = 0;
    // The settings as the controls and draws left them, before the ranges.
    SongSettings settings;
    // For LoadFile: the settings file, a null-terminated path.
    std::array<char, kPathCapacity> path{};
};

// The answer, handed back to the audio thread.
struct WorkResponse {
    std::uint32_t generation = 0;
    bool loaded = false; // from a settings file
    SongSettings settings;
    Score score;
};

// The settings in range (through the controls exchange, as the window reads
// its controls), with their score and drum notes; a file request first loads
// the file over the settings. False when the file cannot be read.
bool doWork(const WorkRequest& request, WorkResponse& response);

} // namespace tarnwick::plugin
