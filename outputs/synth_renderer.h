#pragma once
// The built-in synthesiser without its sound card: a FluidSynth synthesiser
// with a General MIDI SoundFont, rendered on demand by an audio callback (or a
// test, into memory). Messages arrive through a MessageScheduler and are
// applied between FluidSynth's 64-frame render blocks, on the synthesiser's
// own sample clock.

#include <cstdint>
#include <string>

#include <fluidsynth/types.h>

#include "midi/midi_output.h"
#include "outputs/message_scheduler.h"
#include "outputs/sample_clock.h"

namespace tarnwick {

struct SynthConfig {
    double sampleRate = 44100.0;
    // Master gain; FluidSynth's default of 0.2 is quiet next to other programs.
    double gain = 0.4;
    // Reverb and chorus.
    bool effects = true;
};

class SynthRenderer {
  public:
    // Creates the synthesiser, without a SoundFont. `scheduler` outlives it.
    SynthRenderer(const SynthConfig& config, MessageScheduler& scheduler);
    ~SynthRenderer();
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
    void apply(std::uint32_t message);

    SynthConfig config_;
    MessageScheduler& scheduler_;
    SampleClock clock_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    std::int64_t position_ = 0;
};

} // namespace tarnwick
