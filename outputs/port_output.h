#pragma once
// The output "port:NAME": an external MIDI port (a hardware interface or
// another program) through RtMidi, on the ALSA sequencer or JACK. Messages
// are sent the moment they arrive; the message time is not used.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <RtMidi.h>

#include "outputs/output_device.h"

namespace tarnwick {

struct MidiPort {
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::string name;
};

// Creates an RtMidi output client on `api`, catching every RtMidiError: on
// failure returns nullptr and sets `failure` to RtMidi's message. With no
// ALSA sequencer device, creating an ALSA client fails this way.
std::unique_ptr<RtMidiOut> createMidiClient(RtMidi::Api api, std::string& failure);

// The MIDI APIs that can be used now: ALSA when the sequencer device exists,
// JACK only when a JACK server answers.
std::vector<RtMidi::Api> usableMidiApis();

// The output ports of every usable API.
std::vector<MidiPort> listMidiPorts();

// Opens the port called `name` (its full name, or a part of it that only one
// port's name contains, ignoring case). On failure returns nullptr and says
// why in `failure`.
std::unique_ptr<OutputDevice> openPortOutput(std::string_view name, std::string& failure);

// Picks the port `name` means among `ports`: its full name, or the one port
// whose name contains it ignoring case. Returns the index, or -1 (none) or -2
// (several).
int choosePort(const std::vector<std::string>& ports, std::string_view name);

// The bytes of a packed short message as a MIDI port takes them: two for a
// program change or channel pressure, three otherwise.
struct MidiBytes {
    std::array<unsigned char, 3> bytes{};
    std::size_t size = 0;
};
MidiBytes midiBytes(std::uint32_t message);

} // namespace tarnwick
