#pragma once
// The virtual port "Tarnwick" as a MIDI output port of PipeWire's own (a
// filter node "Tarnwick" with the port "Tarnwick"), which PipeWire clients
// and JACK programs run on PipeWire connect to. As with our JACK client,
// every message is written at its own frame of the graph cycle, a fixed
// latency after its message time, from the graph's own clock (when the
// cycle began and when the next one begins). A server that goes away leaves
// the port silent, and its state says so.

#include <memory>

#include "playback/output_device.h"
#include "scheduling/message_scheduler.h"

namespace tarnwick {

// Whether a PipeWire server of this session answers (never starting one).
bool pipeWireRunning();

// Makes the port; on failure returns nullptr and says why in `failure`.
std::unique_ptr<OutputDevice> openPipeWireMidiPort(const SchedulerConfig& config,
                                                   OutputState& failure);

} // namespace tarnwick
