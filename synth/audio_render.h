#pragma once
// "Save as Audio" and --render-audio: the piece as a WAV, FLAC or Ogg Vorbis
// file, rendered offline by the built-in synthesiser with a given SoundFont.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "files/file_result.h"
#include "files/midi_events.h"

namespace tarnwick {

struct SongSettings;

// The longest sound a file gets: its 16-bit WAV form stays well inside the
// format's 4 GiB.
inline constexpr std::int64_t kMaxRenderSeconds = 6 * 3600;

// A lossy encoder does not keep the waveform: decoded, the peaks of a loud
// piece came out up to 1.3 dB higher than they went in. The ceiling of an Ogg
// Vorbis file is lowered by this much so they stay under -1 dBFS there too.
inline constexpr double kLossyHeadroomDb = 2.0;

// Why a piece at this step length is too long for a sound file, or nothing.
std::optional<std::string> renderLengthProblem(std::int32_t stepMs);

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
