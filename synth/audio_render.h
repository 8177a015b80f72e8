#pragma once
// "Save as Audio" and --render-audio: the piece as a WAV, FLAC or Ogg Vorbis
// file, rendered offline by the built-in synthesiser with a given SoundFont.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "files/file_result.h"
#include "files/midi_events.h"

namespace tarnwick {

struct SongSettings;

// The longest sound a file gets: its 16-bit WAV form stays well inside the
// format's 4 GiB.
inline constexpr std::int64_t kMaxRenderSeconds = 6 * 3600;

enum class RenderStatus {
    Written,
    Cancelled,    // the progress callback asked to stop; no file was left
    FontUnusable, // the SoundFont could not be loaded; no file was touched
    CannotWrite,  // the name, the piece's length or the disk refused it
};

struct [[nodiscard]] AudioRenderResult {
    RenderStatus status = RenderStatus::Written;
    FileResult file; // the output file, and on failure the reason
};

// Told the share done, 0 to 1, now and then; returns false to cancel.
using RenderProgress = std::function<bool(double done)>;

// Renders the piece (see PieceRenderer) and writes it to `path` in the format
// its extension names. The target is replaced only by a complete file: a
// cancelled or failed render leaves it as it was and leaves no other file.
AudioRenderResult renderAudioFile(const std::string& path, const std::string& soundFont,
                                  const SongSettings& settings, std::span<const MidiEvent> events,
                                  const RenderProgress& progress = {});

} // namespace tarnwick
