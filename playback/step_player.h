#pragma once
// One tick of the live performance.

#include <cstdint>
#include <vector>

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

// Counts one tick towards the next drum hit, as every tick does; true when this
// tick strikes a drum (the counter then starts again from 0).
bool countDrumTick(std::int32_t& beatCounter, std::int32_t beatLength);

// The steps from state.playPosition to the end of the pass on which the coming
// ticks strike a drum, if the beat length stays as it is. Empty once the last
// step has played (the next tick starts a new pass).
std::vector<int> drumStepsAhead(const PlayState& state, std::int32_t beatLength);

} // namespace tarnwick
