#pragma once
// Everything the user can set: the seed, the scale, the three voices, the drum
// section and the global transformations. Every field is a 32-bit signed
// integer, in the order the settings file stores them.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnwick {

inline constexpr int kVoiceCount = 3;
inline constexpr int kSeedCapacity = 8;
inline constexpr int kDrumSlotCount = 8;
inline constexpr int kReservedCount = 29;

using VoiceValues = std::array<std::int32_t, kVoiceCount>;

struct SongSettings {
    // Number of seed values in use, as parsed from the seed text: 1..8, 0 when
    // the text does not begin with a number, -1 when it is empty.
    std::int32_t seedCount = 0;
    // Signed half-note offsets; only the first seedCount are used.
    std::array<std::int32_t, kSeedCapacity> seed{};
    // Row of the scale table; a value outside 0..18 lets every pitch class pass.
    std::int32_t scaleIndex = 0;

    // Per voice, indexed 0..2 for "vox I", "vox II", "vox III".
    VoiceValues instrument{};  // General MIDI program 0..127
    VoiceValues lowOctave{};   // lower bound in pitch = lowOctave * 12
    VoiceValues highOctave{};  // upper bound in pitch = highOctave * 12
    VoiceValues voiceOffset{}; // start pitch relative to 48, in semitones
    VoiceValues volume{};      // base note-on velocity; 0..31 is added at random
    VoiceValues hold{};        // non-zero: the voice never sends note-offs
    VoiceValues modulation{};  // non-zero: modulation wheel at 63
    VoiceValues portamento{};  // non-zero: portamento switched on

    std::int32_t beatLength = 8; // steps between drum hits
    std::int32_t stepMs = 175;   // milliseconds per step
    std::int32_t drumVolume = 60;
    std::array<std::int32_t, kDrumSlotCount> drumKit{}; // drum-table index per slot

    std::int32_t transpose = 0;     // semitones added to every note that passes the scale
    std::int32_t repeatLength = 0;  // repeat window = repeatLength * seedCount^2 steps
    std::int32_t harmonyOffset = 0; // semitones from voice 2 to its harmony; 0 switches it off
    // No meaning; kept through a load and a save.
    std::array<std::int32_t, kReservedCount> reserved{};

    friend bool operator==(const SongSettings&, const SongSettings&) = default;
};

class RandomGenerator;

// Puts voice k (0..2) back to the plain arrangement both the start and "Random
// All" use: octaves 1 to 10, volume 90, no hold, modulation or portamento.
void resetVoice(SongSettings& settings, std::size_t voice);

// The values the dialog shows when the program starts: a freshly drawn seed,
// every voice on program 0 over octaves 1..10 at volume 90, voice offsets 24,
// 12, 0, only voice 2 held, no transposition, no repeat, no harmony. The other
// fields (scale, drum kit, beat, step length, drum volume, reserved) keep their
// values, so a default-constructed record ends up in the complete start state.
void applyStartValues(SongSettings& settings, RandomGenerator& random);

} // namespace tarnwick
