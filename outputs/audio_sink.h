#pragma once
// Where the built-in synthesiser's audio goes: a sound server or sound card,
// driven by its own thread, which asks a render callback for each period.

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick {

struct RenderCallback {
    // Renders `frames` frames into the two channels (overwriting them). Runs
    // on the audio thread; must not block.
    void (*render)(void* user, float* left, float* right, int frames) = nullptr;
    void* user = nullptr;
};

class AudioSink {
  public:
    virtual ~AudioSink() = default; // stops the audio thread: no callback after it

    // The frames per second the sink plays (a JACK server imposes its own).
    virtual double sampleRate() const = 0;
};

// The audio drivers, in the order they are tried: "pulseaudio" (which
// PipeWire desktops serve too), "alsa", "jack", "sdl2".
std::span<const std::string_view> audioDriverNames();

// Frames the sinks ask for per callback: 256 frames (5.8 ms at 44.1 kHz) keeps
// the callbacks regular without waking the audio thread too often.
inline constexpr int kAudioPeriodFrames = 256;

// Opens the named driver at `sampleRate` (unless a JACK server runs at
// another rate), calling `callback` from now on until the sink is destroyed.
// Returns nullptr when the driver cannot be opened now; for "jack" also when
// no JACK server is running.
std::unique_ptr<AudioSink> openAudioSink(std::string_view driver, double sampleRate,
                                         RenderCallback callback);

} // namespace tarnwick
