#pragma once
// MIDI through a JACK client of our own, "Tarnwick", with one MIDI output
// port. Every message is written at its own frame of the process cycle, a
// fixed latency after its message time, as the built-in synthesiser plays
// it: a timer tick that comes late is not heard late, and the clock's pulses
// are evenly spaced. The port is either connected to another program's MIDI
// input (port:NAME) or is the virtual port "Tarnwick" that other programs
// connect to.
//
// A connected port whose other end goes away (its program quits) makes the
// output silent, and its state names the port; so does a JACK server that
// stops. Closing the output waits, briefly, until what was sent last (Stop's
// All Sound Off) has gone out at its time.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "playback/output_device.h"
#include "scheduling/message_scheduler.h"

namespace tarnwick {

// The name of our client and of its virtual port.
inline constexpr std::string_view kJackClientName = "Tarnwick";

// The MIDI ports of the running JACK server by full name ("client:port"),
// none when no server runs: the inputs a port output may play into, or the
// outputs (ours left out) a clock may come from.
enum class JackPortDirection { Inputs, Outputs };
std::vector<std::string> listJackMidiPorts(JackPortDirection direction);

// Opens our client and connects its port to `target`, a JACK MIDI input's
// full name, or with an empty target makes the virtual port. On failure
// returns nullptr and says why in `failure`.
std::unique_ptr<OutputDevice>
openJackMidiOutput(std::string_view target, const SchedulerConfig& config, OutputState& failure);

} // namespace tarnwick
