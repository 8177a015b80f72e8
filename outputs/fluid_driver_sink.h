#pragma once
// An audio sink through one of FluidSynth's audio drivers (pulseaudio, alsa,
// jack), in its callback mode: the driver's thread calls our render callback.

#include <memory>
#include <string_view>

#include "outputs/audio_sink.h"

namespace tarnwick {

std::unique_ptr<AudioSink> openFluidDriverSink(std::string_view driver, double sampleRate,
                                               RenderCallback callback);

} // namespace tarnwick
