#pragma once
// Where the built-in synthesiser's audio goes: a sound server or sound card,
// driven by its own thread, which asks the source for each period of audio and
// tells it when that period will be heard.

#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "midi/midi_output.h"

namespace tarnwick {

// One period of audio to fill, and when the listener hears its first frame.
struct AudioPeriod {
    float* left = nullptr;
    float* right = nullptr;
    int frames = 0;
    // On the steady clock. A sound server that reports its playback position
    // gives the true moment; other sinks give the moment of the call plus
    // their buffer.
    SteadyClock::time_point heardAt;
    // The sink's stream moved (a sound server's cycle missed): heardAt is
    // exact and starts a new line.
    bool restarted = false;
};

// What a sink plays. Its calls come from the sink's own thread.
class AudioSource {
  public:
    virtual ~AudioSource() = default;

    // Fills the period (overwriting it); must not block. Returns false when
    // nothing sounds and nothing waits to be played: the sink may then stop
    // asking until resume().
    virtual bool render(const AudioPeriod& period) = 0;

    // The sink can no longer play: the sound server went away. `name` says
    // which, as the status line names it: "pulseaudio", "PipeWire". It asks
    // for no more audio.
    virtual void sinkLost(std::string_view /*name*/) {}
};

class AudioSink {
  public:
    virtual ~AudioSink() = default; // stops the audio thread: no call to the source after it

    // The frames per second the sink plays (a JACK server imposes its own).
    virtual double sampleRate() const = 0;

    // How long after the start of its render call a frame is heard, at most,
    // while the sink plays steadily: the buffer between the source and the
    // listener. A message is rendered this much ahead of the moment it is due.
    virtual std::chrono::nanoseconds latency() const = 0;

    // The source returned false and the sink stopped asking: start again.
    // Called from the sending thread; returns at once.
    virtual void resume() {}

    // The sound server behind the driver when the driver's name does not say
    // it ("PipeWire" behind "pulseaudio"); empty when the driver's name does.
    virtual std::string serverName() const { return {}; }
};

// The audio drivers, in the order they are tried: "pipewire" (only where
// PipeWire is the sound server), "pulseaudio" (which PipeWire serves too),
// "alsa", "jack", "sdl2".
std::span<const std::string_view> audioDriverNames();

// Frames the sinks ask for per call: 256 frames (5.8 ms at 44.1 kHz) keeps
// the calls regular without waking the audio thread too often.
inline constexpr int kAudioPeriodFrames = 256;

// Opens the named driver at `sampleRate` (unless a JACK server runs at
// another rate), asking `source` for audio from now on until the sink is
// destroyed. Returns nullptr when the driver cannot be opened now; for "jack"
// also when no JACK server is running.
std::unique_ptr<AudioSink> openAudioSink(std::string_view driver, double sampleRate,
                                         AudioSource& source);

} // namespace tarnwick
