#pragma once
// An audio sink through an SDL2 audio device: the last resort, since SDL
// finds the sound systems of many platforms. FluidSynth's own SDL2 driver has
// no callback mode, so the device is opened here.

#include <memory>

#include "audio/audio_sink.h"

namespace tarnwick {

std::unique_ptr<AudioSink> openSdlAudioSink(double sampleRate, AudioSource& source);

} // namespace tarnwick
