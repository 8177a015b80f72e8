#pragma once
// MIDI clock received from a port of the ALSA sequencer, through RtMidi, for
// where the clock does not come through JACK. RtMidi hands each message over
// as it arrives; its moment on the steady clock stands for its frame, so the
// steps are placed at the moment their pulse is due, as the pulses' spacing
// predicts it, and played the output's constant latency later.

#include <memory>
#include <string_view>

#include "playback/clock_input.h"

namespace tarnwick {

// Opens `port` (its full name, or a part of it that only one port's name
// contains); nullptr when that cannot be done, with `failure` NotConnected
// when a sequencer exists but the port does not, and None when there is no
// ALSA sequencer at all.
std::unique_ptr<ClockInput> openAlsaClockInput(std::string_view port, ClockFault& failure);

} // namespace tarnwick
