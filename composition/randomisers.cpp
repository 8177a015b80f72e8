#include "composition/randomisers.h"

#include "composition/name_tables.h"
#include "composition/random.h"
#include "composition/scale.h"
#include "composition/song_settings.h"

namespace tarnwick {

namespace {

constexpr int kSeedMagnitudes = 7; // magnitudes 0..6

// The eighth value makes the seed sum to zero, so a pass through the seed
// returns every accumulator to where it started.
void closeSeed(SongSettings& settings) {
    std::uint32_t sum = 0; // wraps instead of overflowing; the values are small anyway
    for (int i = 0; i < kSeedCapacity - 1; ++i) {
        sum += static_cast<std::uint32_t>(settings.seed[static_cast<std::size_t>(i)]);
    }
    settings.seed[kSeedCapacity - 1] = static_cast<std::int32_t>(0u - sum);
    settings.seedCount = kSeedCapacity;
}

} // namespace

void drawSeed(SongSettings& settings, RandomGenerator& random) {
    for (int i = 0; i < kSeedCapacity - 1; ++i) {
        const int magnitude = randBelow(random, kSeedMagnitudes);
        const int sign = randBelow(random, 2);
        settings.seed[static_cast<std::size_t>(i)] = magnitude * (2 * sign - 1);
    }
    closeSeed(settings);
}

void randomiseAll(SongSettings& settings, RandomGenerator& random) {
    for (int i = 0; i < kSeedCapacity - 1; ++i) {
        const int sign = randBelow(random, 2);
        const int magnitude = randBelow(random, kSeedMagnitudes);
        settings.seed[static_cast<std::size_t>(i)] = (2 * sign - 1) * magnitude;
    }
    closeSeed(settings);

    settings.transpose = 0;
    settings.repeatLength = 0;
    settings.harmonyOffset = 0;
    settings.voiceOffset = {12, 0, -12};
    for (std::size_t k = 0; k < kVoiceCount; ++k) {
        settings.instrument[k] = randBelow(random, kInstrumentCount);
        resetVoice(settings, k);
    }
    settings.scaleIndex = randBelow(random, kScaleCount);
    settings.beatLength = randBelow(random, 7) + 1;
    settings.stepMs = randBelow(random, 100) + 125;
    for (auto& drum : settings.drumKit) {
        drum = randBelow(random, kDrumCount);
    }
}

} // namespace tarnwick
