#pragma once
// The bytes of a packed short message as a MIDI port takes them.

#include <array>
#include <cstddef>
#include <cstdint>

#include "midi/midi_output.h"

namespace tarnwick {

struct MidiBytes {
    std::array<unsigned char, 3> bytes{};
    std::size_t size = 0;
};

// One byte for a clock message (F8 to FF), two for a program change or
// channel pressure, three for Song Position and every other channel message.
constexpr MidiBytes midiBytes(std::uint32_t message) {
    const std::uint8_t status = messageStatus(message);
    const std::uint8_t kind = status & 0xF0;
    std::size_t size = 3;
    if (status >= 0xF8) {
        size = 1;
    } else if (kind == 0xC0 || kind == 0xD0) {
        size = 2;
    }
    return MidiBytes{{status, messageData1(message), messageData2(message)}, size};
}

} // namespace tarnwick
