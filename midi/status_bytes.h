#pragma once
// What a message's status byte says. A channel message (80 to EF) has its kind
// in the high four bits and its channel, 0 to 15, in the low four; a system
// message (F0 to FF) has no channel, and the real-time ones among them (F8 to
// FF, the clock) are a status byte alone. Data bytes carry seven bits. The
// length of a message follows from its status; the ports and the MIDI file
// write exactly that many bytes.

#include <cstddef>
#include <cstdint>

#include "midi/midi_output.h"

namespace tarnwick::midi {

// Channel message kinds, as the high four bits of the status byte.
inline constexpr std::uint8_t kNoteOff = 0x80;
inline constexpr std::uint8_t kNoteOn = 0x90;
inline constexpr std::uint8_t kKeyPressure = 0xA0;
inline constexpr std::uint8_t kControlChange = 0xB0;
inline constexpr std::uint8_t kProgramChange = 0xC0;
inline constexpr std::uint8_t kChannelPressure = 0xD0;
inline constexpr std::uint8_t kPitchBend = 0xE0;
inline constexpr std::uint8_t kSystem = 0xF0; // F0 to FF: no channel

// System messages: Song Position, then the real-time ones of MIDI clock.
inline constexpr std::uint8_t kSongPosition = 0xF2;
inline constexpr std::uint8_t kClockPulse = 0xF8; // the first real-time status
inline constexpr std::uint8_t kClockStart = 0xFA;
inline constexpr std::uint8_t kClockContinue = 0xFB;
inline constexpr std::uint8_t kClockStop = 0xFC;

inline constexpr int kChannelCount = 16;
inline constexpr std::uint8_t kDataMask = 0x7F; // the seven bits of a data byte

constexpr std::uint8_t statusKind(std::uint8_t status) {
    return status & 0xF0;
}
constexpr int statusChannel(std::uint8_t status) {
    return status & 0x0F;
}
constexpr std::uint8_t messageKind(std::uint32_t message) {
    return statusKind(messageStatus(message));
}
constexpr int messageChannel(std::uint32_t message) {
    return statusChannel(messageStatus(message));
}

constexpr bool isChannelStatus(std::uint8_t status) {
    return status >= kNoteOff && status < kSystem;
}
constexpr bool isRealTimeStatus(std::uint8_t status) {
    return status >= kClockPulse;
}
constexpr bool isDataByte(std::uint8_t byte) {
    return byte <= kDataMask;
}

// A note-on with a velocity: one of velocity 0 ends a note instead.
constexpr bool isNoteStart(std::uint32_t message) {
    return messageKind(message) == kNoteOn && messageData2(message) != 0;
}

// Bytes of a message, status included: one for a real-time message, two for
// a program change or channel pressure, three for Song Position and every
// other channel message.
constexpr std::size_t messageLength(std::uint8_t status) {
    if (isRealTimeStatus(status)) {
        return 1;
    }
    const std::uint8_t kind = statusKind(status);
    return kind == kProgramChange || kind == kChannelPressure ? 2 : 3;
}

} // namespace tarnwick::midi
