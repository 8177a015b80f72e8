#pragma once
// The channel messages the performance sends, built with their data bytes kept
// inside MIDI's 0..127.

#include <algorithm>
#include <cstdint>

#include "midi/midi_output.h"
#include "midi/status_bytes.h"

namespace tarnwick::midi {

inline constexpr std::uint8_t kDrumChannel = 9;

inline constexpr std::uint8_t kModulationWheel = 1;
inline constexpr std::uint8_t kPortamentoTime = 5;
inline constexpr std::uint8_t kPortamentoSwitch = 65;
inline constexpr std::uint8_t kPortamentoControl = 84;
inline constexpr std::uint8_t kAllSoundOff = 120;

// Any value brought into a data byte's range 0..127.
constexpr std::uint8_t dataByte(std::int64_t value) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, kDataMask));
}

constexpr std::uint32_t noteOff(int channel, std::int64_t note) {
    return packShortMessage(static_cast<std::uint8_t>(kNoteOff | channel), dataByte(note), 0);
}
constexpr std::uint32_t noteOn(int channel, std::int64_t note, std::int64_t velocity) {
    return packShortMessage(static_cast<std::uint8_t>(kNoteOn | channel), dataByte(note),
                            dataByte(velocity));
}
constexpr std::uint32_t controlChange(int channel, std::uint8_t controller, std::int64_t value) {
    return packShortMessage(static_cast<std::uint8_t>(kControlChange | channel), controller,
                            dataByte(value));
}
constexpr std::uint32_t programChange(int channel, std::int64_t program) {
    return packShortMessage(static_cast<std::uint8_t>(kProgramChange | channel), dataByte(program),
                            0);
}

} // namespace tarnwick::midi
