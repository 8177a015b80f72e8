#include "outputs/audio_sink.h"

#include <alsa/asoundlib.h>
#include <array>

#include "outputs/fluid_driver_sink.h"
#include "outputs/jack_probe.h"
#include "outputs/sdl_audio_sink.h"

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

} // namespace

std::span<const std::string_view> audioDriverNames() {
    return kDriverNames;
}

std::unique_ptr<AudioSink> openAudioSink(std::string_view driver, double sampleRate,
                                         RenderCallback callback) {
    const QuietAlsa quiet;
    if (driver == "sdl2") {
        return openSdlAudioSink(sampleRate, callback);
    }
    if (driver == "jack") {
        const auto jackRate = probeJackServer();
        if (!jackRate) {
            return nullptr;
        }
        sampleRate = *jackRate;
    }
    if (driver == "pulseaudio" || driver == "alsa" || driver == "jack") {
        return openFluidDriverSink(driver, sampleRate, callback);
    }
    return nullptr;
}

} // namespace tarnwick
