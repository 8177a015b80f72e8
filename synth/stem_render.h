#pragma once
// "Save Stems" and --render-stems: each line of the piece as a sound file of
// its own, rendered in one pass. Every line plays on a MIDI channel of its
// own, and each such channel sounds through its own output group of the
// synthesiser, with its own reverb and chorus, so the stems add up to the
// mix that "Save as Audio" renders before its limiter.
//
// The harmony shares voice 2's channel in the performance; here it plays on
// a free channel set up as voice 2's is (program, modulation wheel). Where the
// two lines meet on one key, one channel lets the later note end the earlier
// one; the stems repeat that by ending the same key on the other line's
// channel, so the lines stay as the mix has them.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio_file_writer.h"
#include "files/midi_events.h"
#include "synth/audio_render.h"
#include "synth/fluid_synth_instance.h"
#include "synth/output_stage.h"
#include "synth/piece_renderer.h"

namespace tarnwick {

struct SongSettings;

// The stems' file names without the extension, by line.
inline constexpr std::array<std::string_view, kLineCount> kStemNames = {
    "voice1", "voice2", "harmony", "voice3", "drums"};

// The lines that get a stem: all but the harmony when its offset is 0.
std::vector<PieceLine> stemLines(const SongSettings& settings);

// One stem's sound for a stretch of frames.
struct StemSound {
    const float* left;
    const float* right;
};

// Receives every line's sound in order, indexed by line (a line without a
// stem is silence); returns false to end the render there.
using StemConsumer = std::function<bool(std::span<const StemSound, kLineCount> stems, int frames)>;

class StemRenderer {
  public:
    // The synthesiser as the mix has it, with a group per line; `gain` is the
    // mix's gain before its limiter.
    explicit StemRenderer(const SynthConfig& config = renderSynthConfig(),
                          double gain = OutputStageConfig{}.gain);

    // Returns an empty string, or why the font could not be loaded.
    std::string loadSoundFont(const std::string& path);

    // Renders pieceFrames(settings.stepMs) frames of every line at the mix's
    // gain, without a limiter (and so without its delay), with the mix's end
    // fade: summed, the stems are the mix before its limiter. Returns false
    // when the consumer ended it early. Renders once.
    bool render(const SongSettings& settings, std::span<const LineEvent> events,
                const StemConsumer& consume);

  private:
    FluidSynthInstance synth_;
    float gain_;
};

struct [[nodiscard]] StemsRenderResult {
    RenderStatus status = RenderStatus::Written;
    FileResult file; // on failure the file and the reason; on success the folder
    // The gain all stems share, in dB against the mix's: below 0 when the
    // loudest stem would otherwise peak above the ceiling.
    double gainDb = 0.0;
    std::vector<std::string> written; // the files, in line order
};

// Renders the stems and writes them into `folder` as voice1.wav and so on,
// in `format`. They share one gain, the mix's, lowered only as far as keeps
// every stem's peak at or below the mix's ceiling (2 dB lower for Ogg
// Vorbis, as the mix); a piece that needs it lower is rendered twice, the
// progress running from 0 to 1 each time. The files appear whole or not at
// all: a cancelled or failed render leaves every target as it was and no
// other file.
StemsRenderResult renderStemFiles(const std::string& folder, AudioFileFormat format,
                                  const std::string& soundFont, const SongSettings& settings,
                                  std::span<const LineEvent> events,
                                  const RenderProgress& progress = {});

// The name of a format's files' extension, "wav", "flac" or "ogg".
std::string_view audioExtension(AudioFileFormat format);

} // namespace tarnwick
