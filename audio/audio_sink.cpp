#include "audio/audio_sink.h"

#include <alsa/asoundlib.h>
#include <array>

#include "audio/fluid_driver_sink.h"
#include "audio/jack_probe.h"
#include "audio/pulse_audio_sink.h"
#include "audio/sdl_audio_sink.h"

namespace tarnwick {

namespace {

constexpr std::array<std::string_view, 4> kDriverNames = {"pulseaudio", "alsa", "jack", "sdl2"};

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

} // namespace

std::span<const std::string_view> audioDriverNames() {
    return kDriverNames;
}

std::unique_ptr<AudioSink> openAudioSink(std::string_view driver, double sampleRate,
                                         AudioSource& source) {
    const QuietAlsa quiet;
    if (driver == "pulseaudio") {
        return openPulseAudioSink(sampleRate, source);
    }
    if (driver == "sdl2") {
        return openSdlAudioSink(sampleRate, source);
    }
    if (driver == "alsa") {
        return openFluidDriverSink(
            driver, sampleRate,
            framesToDuration(kFluidDriverPeriods * kAudioPeriodFrames, sampleRate), source);
    }
    if (driver == "jack") {
        // A period is heard one process cycle after it is rendered.
        const auto server = probeJackServer();
        if (!server) {
            return nullptr;
        }
        return openFluidDriverSink(driver, server->sampleRate,
                                   framesToDuration(server->periodFrames, server->sampleRate),
                                   source);
    }
    return nullptr;
}

} // namespace tarnwick
