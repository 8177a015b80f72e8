#pragma once
// One tick of the live performance.

namespace tarnwick {

struct SongSettings;
struct Score;
struct PlayState;
class MidiOutput;
class RandomGenerator;

// Plays the step at state.playPosition (wrapping 1024 to 0) and moves on: for
// each line whose turn it is, a note-off for its last note (unless held) and a
// note-on with a random velocity; every beatLength-th tick, one drum hit. Reads
// the volumes, hold flags, harmony offset, beat and drum volume afresh, so
// changes reach a running performance at the next tick.
void playStep(PlayState& state, const Score& score, const SongSettings& settings,
              RandomGenerator& random, MidiOutput& output);

} // namespace tarnwick
