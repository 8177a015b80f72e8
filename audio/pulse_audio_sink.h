#pragma once
// An audio sink through a PulseAudio server (PipeWire desktops serve the same
// protocol). It renders in the stream's write callback and stamps every
// period with the moment the server will play it, read from the server's own
// playback position, so the synthesiser's clock follows what is heard rather
// than when the server happened to ask for audio.
//
// The stream's buffer is long enough not to run dry on a busy machine, and it
// never waits to refill after a late period: a period that comes too late is
// cut short instead of shifting everything after it. While the source is
// silent the stream is paused, so an idle synthesiser costs nothing. When the
// server goes away the source hears of it through sinkLost().

#include <memory>

#include "audio/audio_sink.h"

namespace tarnwick {

// Connects to the default server (never starting one) and opens a stereo
// stream at `sampleRate`, paused until resume(). Returns nullptr when there is
// no server to play through.
std::unique_ptr<AudioSink> openPulseAudioSink(double sampleRate, AudioSource& source);

} // namespace tarnwick
