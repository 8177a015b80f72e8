#pragma once
// The system messages of MIDI clock, which a drum machine or sequencer follows:
// Start, 24 pulses per quarter note, Stop, and Song Position with Continue to
// join a piece already playing. Each is a status byte alone, but Song Position
// with two data bytes.

#include <cstdint>

#include "midi/midi_output.h"
#include "midi/status_bytes.h"

namespace tarnwick::midi {

// Song Position: where Continue resumes, in sixteenth notes (six pulses each)
// from the start of the piece, 0 to 16383.
constexpr std::uint32_t songPosition(int sixteenths) {
    const auto value = static_cast<std::uint32_t>(sixteenths) & 0x3FFFu;
    return packShortMessage(kSongPosition, static_cast<std::uint8_t>(value & kDataMask),
                            static_cast<std::uint8_t>(value >> 7));
}

constexpr bool isClockPulse(std::uint32_t message) {
    return messageStatus(message) == kClockPulse;
}

// Start, Continue and Stop: each begins or ends a run of pulses.
constexpr bool beginsOrEndsClock(std::uint32_t message) {
    const std::uint8_t status = messageStatus(message);
    return status == kClockStart || status == kClockContinue || status == kClockStop;
}

} // namespace tarnwick::midi
