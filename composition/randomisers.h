#pragma once
// Drawing settings at random: a new seed alone ("Random Canon" and the start),
// or a new seed with a whole new arrangement ("Random All"). Both change the
// settings only; every draw comes from the one generator, in a fixed order.

namespace tarnwick {

struct SongSettings;
class RandomGenerator;

// Seven values of magnitude 0..6 and random sign, and an eighth that brings the
// sum to zero; seedCount becomes 8.
void drawSeed(SongSettings& settings, RandomGenerator& random);

// A new seed (sign drawn before magnitude, the reverse of drawSeed), then a new
// scale, instruments, beat, step length and drum kit. Octave ranges, volumes,
// the H/M/P flags, offsets, transposition, repeat and harmony are reset to
// fixed values; drumVolume and reserved are left alone.
void randomiseAll(SongSettings& settings, RandomGenerator& random);

} // namespace tarnwick
