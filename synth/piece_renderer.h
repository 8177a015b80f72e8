#pragma once
// One pass of the piece as sound, rendered offline as fast as the machine
// allows: the messages the MIDI export holds, played by the built-in
// synthesiser through the output stage, then a tail in which the last notes
// ring, closed by a short fade so no click ends the sound.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "files/midi_events.h"
#include "synth/fluid_synth_instance.h"
#include "synth/output_stage.h"

namespace tarnwick {

struct SongSettings;

inline constexpr int kRenderSampleRate = 44100;
// Time after the pass for the last notes and the reverb to ring.
inline constexpr std::int64_t kRenderTailMs = 2000;
// The fade at the very end.
inline constexpr std::int64_t kRenderFadeMs = 50;
// FluidSynth's render block: a message takes effect at a block boundary.
inline constexpr int kSynthBlockFrames = 64;

// The length of the sound for a step length: the pass of 1024 steps and the
// tail, to the nearest frame at 44.1 kHz. A stepMs below 1 counts as 1.
std::int64_t pieceFrames(std::int32_t stepMs);

// The frame at which a message due at `timeMs` plays: the render block
// boundary nearest to its time.
std::int64_t eventFrame(std::int64_t timeMs);

// Frames for `ms` milliseconds at the render's rate, to the nearest frame.
std::int64_t framesForMs(std::int64_t ms);

// The end of every render: multiplies the frames of the last kRenderFadeMs
// (or all, when shorter) of `total` frames by a half cosine from 1 down to 0;
// `first` is the index of left[0] among them.
void fadeOutEnd(float* left, float* right, int frames, std::int64_t first, std::int64_t total);

// The render loop the mix and the stems share: renders `end` frames, calling
// apply(i) for each of the `count` events once its frame, frameOf(i) (never
// decreasing), has come, and render(position, frames) for the sound between,
// in chunks that end where an event is due. Returns false when render did.
bool renderTimedEvents(std::size_t count, const std::function<std::int64_t(std::size_t)>& frameOf,
                       const std::function<void(std::size_t)>& apply, std::int64_t end,
                       const std::function<bool(std::int64_t position, int frames)>& render);

// Receives the sound in order, `frames` frames of each channel at a time.
// Returns false to end the render there.
using AudioConsumer = std::function<bool(const float* left, const float* right, int frames)>;

// The synthesiser set up for rendering: the live output's sound, with every
// render thread the machine offers and samples loaded on demand.
SynthConfig renderSynthConfig();

class PieceRenderer {
  public:
    explicit PieceRenderer(const SynthConfig& config = renderSynthConfig(),
                           const OutputStageConfig& stage = {});

    // Returns an empty string, or why the font could not be loaded.
    std::string loadSoundFont(const std::string& path);

    // Renders pieceFrames(settings.stepMs) frames: first the set-up a MIDI
    // file holds (programs, modulation), then every event at eventFrame of its
    // time. The output stage's delay is taken off, so the sound starts at
    // frame 0. Returns false when the consumer ended it early. Renders once:
    // a second call would start from the first one's sounding notes.
    bool render(const SongSettings& settings, std::span<const MidiEvent> events,
                const AudioConsumer& consume);

    const OutputStage& stage() const { return stage_; }

  private:
    FluidSynthInstance synth_;
    OutputStage stage_;
};

} // namespace tarnwick
