#pragma once
// MIDI clock received through a JACK client of its own, "Tarnwick clock",
// for an output that has no JACK client to share (the built-in synthesiser,
// an ALSA port): the steps are then placed at the moment their pulse is due
// on the steady clock, which the output plays a fixed latency later.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "playback/clock_input.h"

namespace tarnwick {

// Connects `port` (a JACK MIDI output, "client:port") to our input; nullptr,
// with the reason in `failure`, when that cannot be done.
std::unique_ptr<ClockInput> openJackClockInput(std::string_view port, ClockFault& failure);

// The MIDI outputs of the running JACK server that a clock may come from,
// by full name ("client:port"), ours left out; none when no server runs.
std::vector<std::string> listJackMidiSources();

} // namespace tarnwick
