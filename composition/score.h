#pragma once
// The generated piece: one pass of 1024 steps. Every entry is a MIDI note
// number, 0 for a rest (for a drum slot: no hit). Entry values above 127 can
// arise from extreme offsets; every reader treats them as rests.

#include <array>
#include <cstdint>

namespace tarnwick {

inline constexpr int kStepCount = 1024;

using NoteByte = std::uint8_t;

struct Score {
    std::array<NoteByte, kStepCount> voice1Notes{};      // entry e sounds at step e
    std::array<NoteByte, kStepCount / 2> voice2Notes{};  // entry e sounds at step 2e
    std::array<NoteByte, kStepCount / 2> harmonyNotes{}; // entry e sounds at step 2e
    std::array<NoteByte, kStepCount / 4> voice3Notes{};  // entry e sounds at step 4e
    std::array<NoteByte, 8> drumNotes{};                 // one percussion key per drum slot

    friend bool operator==(const Score&, const Score&) = default;
};

// True when a score entry is a note that can be played: 1..127.
constexpr bool isPlayableNote(NoteByte note) {
    return note != 0 && note < 128;
}

} // namespace tarnwick
