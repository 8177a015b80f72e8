#pragma once
// Lookups into the instrument and drum tables. Every lookup accepts any index
// and never reads outside its table.

#include <array>
#include <cstdint>
#include <string_view>

namespace tarnwick {

inline constexpr int kInstrumentCount = 128;
inline constexpr int kDrumCount = 62;
// Drum-table entry i (1..61) plays General MIDI percussion key 26 + i (27..87).
inline constexpr int kDrumKeyOffset = 26;

// The name of General MIDI program 0..127; empty outside the table.
std::string_view instrumentName(int program);

// The name of drum-table entry 0..61 ("Silence" for 0); empty outside the table.
std::string_view drumName(int drumIndex);

// The percussion key of drum-table entry 1..61; 0 (no hit) for entry 0 and for
// any index outside the table.
std::uint8_t drumNote(int drumIndex);

} // namespace tarnwick
