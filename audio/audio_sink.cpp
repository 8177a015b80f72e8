#include "audio/audio_sink.h"

#include <alsa/asoundlib.h>
#include <array>

#include "audio/fluid_driver_sink.h"
#include "audio/jack_probe.h"
#include "audio/pipewire_sink.h"
#include "audio/pulse_audio_sink.h"
#include "audio/sdl_audio_sink.h"

namespace tarnwick {

namespace {

// The ALSA library prints its own complaints ("cannot find card '0'") on
// standard error, whether FluidSynth or SDL calls it. While a driver opens
// they are dropped: the status line says what came of it.
void ignoreAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/,
                     const char* /*fmt*/, ...) {}

class QuietAlsa {
  public:
    QuietAlsa() { snd_lib_error_set_handler(&ignoreAlsaError); }
    ~QuietAlsa() { snd_lib_error_set_handler(nullptr); }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;
};

std::chrono::nanoseconds framesToDuration(int frames, double sampleRate) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(frames / sampleRate));
}

std::unique_ptr<AudioSink> openAlsa(double sampleRate, AudioSource& source) {
    return openFluidDriverSink(
        "alsa", sampleRate, framesToDuration(kFluidDriverPeriods * kAudioPeriodFrames, sampleRate),
        source);
}

std::unique_ptr<AudioSink> openJack(double /*sampleRate*/, AudioSource& source) {
    // The server imposes its rate; a period is heard one process cycle after
    // it is rendered.
    const auto server = probeJackServer();
    if (!server) {
        return nullptr;
    }
    return openFluidDriverSink("jack", server->sampleRate,
                               framesToDuration(server->periodFrames, server->sampleRate), source);
}

struct AudioDriver {
    std::string_view name;
    std::unique_ptr<AudioSink> (*open)(double sampleRate, AudioSource& source);
};

// In order of preference. PipeWire's own stream comes first: where PipeWire
// is the sound server its graph clock times every period exactly, and
// elsewhere it does not open.
constexpr AudioDriver kDrivers[] = {
    {"pipewire", openPipeWireSink},
    {"pulseaudio", openPulseAudioSink},
    {"alsa", openAlsa},
    {"jack", openJack},
    {"sdl2", openSdlAudioSink},
};

constexpr auto kDriverNames = [] {
    std::array<std::string_view, std::size(kDrivers)> names{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = kDrivers[i].name;
    }
    return names;
}();

} // namespace

std::span<const std::string_view> audioDriverNames() {
    return kDriverNames;
}

std::unique_ptr<AudioSink> openAudioSink(std::string_view driver, double sampleRate,
                                         AudioSource& source) {
    for (const AudioDriver& candidate : kDrivers) {
        if (candidate.name == driver) {
            const QuietAlsa quiet;
            return candidate.open(sampleRate, source);
        }
    }
    return nullptr;
}

} // namespace tarnwick
