#pragma once
// MIDI clock received through a JACK client of its own, "Tarnwick clock",
// for an output that has no JACK client to share (the built-in synthesiser,
// an ALSA port): the steps are then placed at the moment their pulse is due
// on the steady clock, which the output plays a fixed latency later.

#include <memory>
#include <string>
#include <string_view>

#include "playback/clock_input.h"

namespace tarnwick {

// Connects `port` (a JACK MIDI output, "client:port") to our input; nullptr,
// with the reason in `failure`, when that cannot be done.
std::unique_ptr<ClockInput> openJackClockInput(std::string_view port, ClockFault& failure);

} // namespace tarnwick
