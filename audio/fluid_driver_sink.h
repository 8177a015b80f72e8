#pragma once
// An audio sink through one of FluidSynth's audio drivers (alsa, jack), in its
// callback mode: the driver's thread asks our source for each period. These
// drivers do not tell when a period is heard; it is taken to be the moment of
// the call plus the driver's buffer, which holds while the device keeps pace.

#include <chrono>
#include <memory>
#include <string_view>

#include "audio/audio_sink.h"

namespace tarnwick {

// ALSA's buffer: four periods, 23 ms at 44.1 kHz.
inline constexpr int kFluidDriverPeriods = 4;

// `latency`: how long after its call a period is heard (the driver's buffer).
std::unique_ptr<AudioSink> openFluidDriverSink(std::string_view driver, double sampleRate,
                                               std::chrono::nanoseconds latency,
                                               AudioSource& source);

} // namespace tarnwick
