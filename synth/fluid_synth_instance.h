#pragma once
// One FluidSynth synthesiser with its settings, made the same way for the live
// output and for rendering to a file, so that both sound alike.

#include <cstdint>
#include <string>

#include <fluidsynth/types.h>

namespace tarnwick {

struct SynthConfig {
    double sampleRate = 44100.0;
    // FluidSynth's own gain, left at its default: the output stage's gain
    // (synth/output_stage.h) sets the level.
    double gain = 0.2;
    // Reverb and chorus.
    bool effects = true;
    // Threads that render voices; more than 1 only pays when rendering large
    // blocks at a time, as a render to a file does.
    int cpuCores = 1;
    // Load a preset's samples when a channel selects it rather than the whole
    // font at once: a render that plays three instruments starts sooner.
    bool loadSamplesOnDemand = false;
};

class FluidSynthInstance {
  public:
    // Creates the synthesiser, without a SoundFont; see isValid().
    explicit FluidSynthInstance(const SynthConfig& config);
    ~FluidSynthInstance();
    FluidSynthInstance(const FluidSynthInstance&) = delete;
    FluidSynthInstance& operator=(const FluidSynthInstance&) = delete;

    bool isValid() const { return synth_ != nullptr; }

    // Loads a SoundFont (.sf2 or .sf3) and points every channel at its
    // presets. Returns an empty string, or why it failed.
    std::string loadSoundFont(const std::string& path);

    // Applies one packed channel message at once; anything else is ignored.
    void apply(std::uint32_t message);

    // Renders `frames` frames into left[offset...] and right[offset...].
    void write(float* left, float* right, int offset, int frames);

    // Voices sounding now, effects' tails not counted.
    int activeVoices() const;

    fluid_synth_t* synth() const { return synth_; }

  private:
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
};

} // namespace tarnwick
