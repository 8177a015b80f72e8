#include "playback/outputs/audio_sink.h"

#include <array>

#include "playback/outputs/fluid_driver_sink.h"
#include "playback/outputs/jack_probe.h"
#include "playback/outputs/sdl_audio_sink.h"

namespace tarnwick {

namespace {

constexpr std::array<std::string_view, 4> kDriverNames = {"pulseaudio", "alsa", "jack", "sdl2"};

} // namespace

std::span<const std::string_view> audioDriverNames() {
    return kDriverNames;
}

std::unique_ptr<AudioSink> openAudioSink(std::string_view driver, double sampleRate,
                                         RenderCallback callback) {
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
