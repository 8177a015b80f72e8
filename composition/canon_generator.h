#pragma once
// Turns the settings into the score: the seed accumulated at three time scales
// into three voices, each folded into its octave range, a harmony line derived
// from voice 2, periodic repeat windows in which voices 2 and 3 and the harmony
// replay their opening, and every computed pitch passed through the scale.

namespace tarnwick {

struct SongSettings;
struct Score;

// Writes the four voice tables of the score (the drum notes are left alone).
// Deterministic: equal settings give an equal score. Reads the first seedCount
// seed values; a count below 1 uses seed[0] alone, as a count of 1 does, and a
// count above 8 uses all eight. The caller stops the step timer first, so a
// running performance never sees a half-written score.
void generateScore(const SongSettings& settings, Score& score);

} // namespace tarnwick
