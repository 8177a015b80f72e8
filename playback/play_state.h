#pragma once
// The step player's counters, carried from one tick to the next.

#include <array>
#include <cstdint>

namespace tarnwick {

// Index of each melodic line in PlayState::lastNote.
enum class Line : int { Voice1 = 0, Voice2 = 1, Voice3 = 2, Harmony = 3 };

struct PlayState {
    std::int32_t playPosition = 0;    // the step the next tick plays, 0..1023 (1024 until it wraps)
    std::int32_t beatCounter = 0;     // ticks counted towards the next drum hit
    std::int32_t drumSlotCounter = 0; // drum hits made in the current cycle of eight
    // Per line (voice 1, voice 2, voice 3, harmony): the note whose note-off the
    // line sends next; survives Stop and every new start.
    std::array<std::int32_t, 4> lastNote{};

    friend bool operator==(const PlayState&, const PlayState&) = default;
};

} // namespace tarnwick
