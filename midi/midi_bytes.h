#pragma once
// The bytes of a packed short message as a MIDI port takes them.

#include <array>
#include <cstddef>
#include <cstdint>

#include "midi/midi_output.h"
#include "midi/status_bytes.h"

namespace tarnwick {

struct MidiBytes {
    std::array<unsigned char, 3> bytes{};
    std::size_t size = 0;
};

// As many bytes as the status says the message has.
constexpr MidiBytes midiBytes(std::uint32_t message) {
    const std::uint8_t status = messageStatus(message);
    return MidiBytes{{status, messageData1(message), messageData2(message)},
                     midi::messageLength(status)};
}

} // namespace tarnwick
