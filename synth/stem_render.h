#pragma once
// "Save Stems" and --render-stems: each line of the piece as a sound file of
// its own. Every line plays in a synthesiser of its own, the mix's, with its
// own reverb and chorus, so the stems add up to the mix that "Save as Audio"
// renders before its limiter; the lines render side by side on the
// processor's cores. The harmony gets voice 2's channel and set-up (program,
// modulation wheel) in its synthesiser.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
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

// The messages one line's stem plays: its own events and, for voice 2 and
// the harmony, a note-off for each key the other line strikes or ends. They
// share a channel in the mix, where a note of either ends the other's
// sounding note on that key; in the stems each plays in a synthesiser of its
// own, on voice 2's channel.
std::vector<MidiEvent> stemMessages(std::span<const LineEvent> events, PieceLine line);

// One line's stem: the mix's synthesiser, with its own reverb and chorus,
// playing that line's messages alone. A line without a note start needs no
// synthesiser and renders silence.
class StemRenderer {
  public:
    // `gain` is the mix's gain before its limiter.
    StemRenderer(PieceLine line, std::vector<MidiEvent> messages,
                 const SynthConfig& config = stemSynthConfig(),
                 double gain = OutputStageConfig{}.gain);

    // Returns an empty string, or why the font could not be loaded.
    std::string loadSoundFont(const std::string& path);

    // Whether the line starts a note: only then has it a synthesiser.
    bool sounds() const { return synth_ != nullptr; }

    // Renders pieceFrames(settings.stepMs) frames: the line's part of the
    // set-up a MIDI file holds, then its messages, at the mix's gain, without
    // a limiter (and so without its delay), with the mix's end fade. Summed,
    // the stems are the mix before its limiter. Returns false when the
    // consumer ended it early. Renders once.
    bool render(const SongSettings& settings, const AudioConsumer& consume);

    // The synthesiser of one stem: the render's, on one thread, since the
    // stems render side by side.
    static SynthConfig stemSynthConfig();

  private:
    PieceLine line_;
    std::vector<MidiEvent> messages_;
    std::unique_ptr<FluidSynthInstance> synth_; // none for a silent line
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

// Renders the stems, side by side on the processor's cores, and writes them
// into `folder` as voice1.wav and so on, in `format`. They share one gain,
// the mix's, lowered only as far as keeps every stem's peak at or below the
// mix's ceiling (2 dB lower for Ogg Vorbis, as the mix); a piece that needs
// it lower is rendered twice, the progress running from 0 to 1 each time.
// The files appear whole or not at all: a cancelled or failed render leaves
// every target as it was and no other file.
StemsRenderResult renderStemFiles(const std::string& folder, AudioFileFormat format,
                                  const std::string& soundFont, const SongSettings& settings,
                                  std::span<const LineEvent> events,
                                  const RenderProgress& progress = {});

// The name of a format's files' extension, "wav", "flac" or "ogg".
std::string_view audioExtension(AudioFileFormat format);

} // namespace tarnwick
