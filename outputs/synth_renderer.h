#pragma once
// The built-in synthesiser without its sound card: a FluidSynth synthesiser
// with a General MIDI SoundFont, rendered on demand by an audio callback (or a
// test, into memory). Messages arrive through a MessageScheduler and are
// applied between FluidSynth's 64-frame render blocks, on the synthesiser's
// own sample clock; the sound then passes the output stage.

#include <cstdint>
#include <string>

#include "midi/midi_output.h"
#include "outputs/fluid_synth_instance.h"
#include "outputs/message_scheduler.h"
#include "outputs/output_stage.h"
#include "outputs/sample_clock.h"

namespace tarnwick {

class SynthRenderer {
  public:
    // Creates the synthesiser, without a SoundFont. `scheduler` outlives it.
    SynthRenderer(const SynthConfig& config, MessageScheduler& scheduler);
    SynthRenderer(const SynthRenderer&) = delete;
    SynthRenderer& operator=(const SynthRenderer&) = delete;

    // Loads a SoundFont (.sf2 or .sf3) and points every channel at its
    // presets. Takes up to a second: call it off the user-interface thread,
    // before rendering starts. Returns an empty string, or why it failed.
    std::string loadSoundFont(const std::string& path);

    // The audio callback: renders `frames` frames into `left` and `right`
    // (overwriting them). `now` is when the callback began; it keeps the
    // sample clock in step with the steady clock. Audio thread only.
    void render(float* left, float* right, int frames, SteadyClock::time_point now);

    // The same, for a C callback: `renderer` is a SynthRenderer.
    static void renderNow(void* renderer, float* left, float* right, int frames);

    double sampleRate() const { return config_.sampleRate; }

    // Frames rendered so far.
    std::int64_t position() const { return position_; }

  private:
    SynthConfig config_;
    MessageScheduler& scheduler_;
    SampleClock clock_;
    FluidSynthInstance synth_;
    OutputStage stage_;
    std::int64_t position_ = 0;
};

} // namespace tarnwick
