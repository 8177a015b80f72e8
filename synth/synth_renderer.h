#pragma once
// The built-in synthesiser without its sound card: a FluidSynth synthesiser
// with a General MIDI SoundFont, rendered on demand by an audio sink (or a
// test, into memory). Messages arrive through a MessageScheduler and are
// applied between FluidSynth's 64-frame render blocks, on the synthesiser's
// own sample clock, which follows the moments the sink says its periods are
// heard; the sound then passes the output stage.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "audio/audio_sink.h"
#include "midi/midi_output.h"
#include "scheduling/message_scheduler.h"
#include "scheduling/sample_clock.h"
#include "synth/fluid_synth_instance.h"
#include "synth/output_stage.h"

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

    // How far ahead of the listener the sink renders (AudioSink::latency):
    // a message due at time t is rendered at the frame heard at t + latency.
    // Any thread; takes effect at the next period.
    void setSinkLatency(std::chrono::nanoseconds latency) {
        sinkLatencyNs_.store(latency.count(), std::memory_order_relaxed);
    }

    // Renders the period, applying the messages due in it; the period's
    // heardAt keeps the sample clock in step with the steady clock. Returns
    // false once everything has been silent for kQuietSeconds and no message
    // waits: until the next message, periods are then filled with silence
    // without running the synthesiser. Audio thread only.
    bool render(const AudioPeriod& period);

    double sampleRate() const { return config_.sampleRate; }

    // Frames rendered so far.
    std::int64_t position() const { return position_; }

    // How long the output must stay below kQuietLevel, with no voice playing,
    // before rendering stops: the effects' tails have died away by then.
    static constexpr double kQuietSeconds = 1.0;
    static constexpr float kQuietLevel = 1e-5f; // -100 dB

  private:
    bool quiet(const AudioPeriod& period) const;
    // Waking from silence: a sink that took a while to start again would play
    // the first messages late and bunched together, so every message of this
    // performance is put off by as much as the first would be late.
    void catchUp();

    SynthConfig config_;
    MessageScheduler& scheduler_;
    SampleClock clock_;
    FluidSynthInstance synth_;
    OutputStage stage_;
    std::int64_t position_ = 0;
    std::int64_t quietFrames_; // it starts silent
    std::int64_t staleAfterNs_;
    std::int64_t delayNs_ = 0;
    std::atomic<std::int64_t> sinkLatencyNs_{0};
};

} // namespace tarnwick
