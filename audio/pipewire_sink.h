#pragma once
// An audio sink on PipeWire's own stream API, for desktops whose sound server
// is PipeWire. It renders in the stream's process callback, on PipeWire's
// real-time data thread, and stamps every period with the moment the graph
// will play it, from the graph's own clock: when the driver began the cycle,
// the delay from the stream to the device and what is still queued. The
// driver's clock advances by exactly one graph period a cycle, so the
// synthesiser's clock learns from a straight line, where the playback
// reports of the PulseAudio protocol, as PipeWire serves it, scatter by a
// graph period now and then. Where the graph misses a cycle on a busy machine
// the line moves by a period, and the clock moves with it at once.
//
// While the source is silent the stream is inactive, so an idle synthesiser
// costs nothing. When the server goes away the source hears of it through
// sinkLost("PipeWire").

#include <memory>

#include "audio/audio_sink.h"

namespace tarnwick {

// Connects to the PipeWire server of this session (never starting one) and
// opens a stereo stream at `sampleRate` to the default audio sink, paused
// until resume(). Returns nullptr when no PipeWire server runs or when it has
// no audio sink to play to (PipeWire that carries only video, beside a
// PulseAudio server).
std::unique_ptr<AudioSink> openPipeWireSink(double sampleRate, AudioSource& source);

} // namespace tarnwick
