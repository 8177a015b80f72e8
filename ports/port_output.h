#pragma once
// The output "port:NAME": an external MIDI port (a hardware interface or
// another program). JACK ports are reached through our own JACK client (see
// jack_midi_output.h); the others, the ALSA sequencer's, through RtMidi, with
// a thread that hands each message over when it is due (see TimedSender). Also
// the ALSA side of the virtual port "Tarnwick".

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <RtMidi.h>

#include "playback/output_device.h"
#include "scheduling/message_scheduler.h"

namespace tarnwick {

struct MidiPort {
    RtMidi::Api api = RtMidi::UNSPECIFIED; // UNIX_JACK for a port of the JACK server
    std::string name;
};

// Creates an RtMidi output client on `api`, catching every RtMidiError: on
// failure returns nullptr and sets `failure` to a silent state carrying
// RtMidi's message. With no ALSA sequencer device, creating an ALSA client
// fails this way.
std::unique_ptr<RtMidiOut> createMidiClient(RtMidi::Api api, OutputState& failure);

// The MIDI APIs RtMidi serves for us now: the ALSA sequencer when its device
// exists (JACK has a client of our own).
std::vector<RtMidi::Api> usableMidiApis();

// The MIDI inputs of the JACK server, then the output ports of every usable
// RtMidi API.
std::vector<MidiPort> listMidiPorts();

// Opens the port called `name` (its full name, or a part of it that only one
// port's name contains, ignoring case). On failure returns nullptr and says
// why in `failure`.
std::unique_ptr<OutputDevice> openPortOutput(std::string_view name, const SchedulerConfig& config,
                                             OutputState& failure);

// Opens the virtual port "Tarnwick" on the ALSA sequencer; nullptr, with the
// reason in `failure`, where there is none.
std::unique_ptr<OutputDevice> openAlsaVirtualPort(const SchedulerConfig& config,
                                                  OutputState& failure);

// The index of the port chosen, or why none is: OutputCause::NoSuchPort or
// OutputCause::AmbiguousPort.
using PortChoice = std::variant<std::size_t, OutputCause>;

// Picks the port `name` means among `ports`: its full name, or the one port
// whose name contains it ignoring case.
PortChoice choosePort(const std::vector<std::string>& ports, std::string_view name);

} // namespace tarnwick
