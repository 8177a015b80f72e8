#include "composition/canon_generator.h"

#include <algorithm>
#include <cstdint>

#include "composition/scale.h"
#include "composition/score.h"
#include "composition/song_settings.h"

namespace tarnwick {

namespace {

// Pitch arithmetic wraps in 32 bits, so extreme seeds and offsets stay defined.
std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t wrappingSubtract(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int32_t wrappingMultiply(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// The octave range of one voice, in pitches.
struct Fold {
    std::int32_t upperBound;
    std::int32_t lowerBound;
    std::int32_t amount; // reflects a pitch by whole octaves; 0 when the range is one octave

    Fold(std::int32_t lowOctave, std::int32_t highOctave)
        : upperBound(wrappingMultiply(highOctave, 12)), lowerBound(wrappingMultiply(lowOctave, 12)),
          amount(
              wrappingMultiply(wrappingSubtract(wrappingSubtract(highOctave, lowOctave), 1), 12)) {}

    // One test each way per turn: a pitch further out than the fold amount
    // stays outside and is folded again at the voice's next turn.
    std::int32_t apply(std::int32_t pitch) const {
        if (pitch > upperBound) {
            pitch = wrappingSubtract(pitch, amount);
        }
        if (pitch < lowerBound) {
            pitch = wrappingAdd(pitch, amount);
        }
        return pitch;
    }
};

// A walk through the first `count` seed values that wraps to the start.
struct SeedIndex {
    int value = 0;

    // Moves on one value; true when the walk has just wrapped to the start.
    bool advance(int count) {
        if (++value >= count) {
            value = 0;
            return true;
        }
        return false;
    }
};

} // namespace

void generateScore(const SongSettings& settings, Score& score) {
    const int count = std::clamp(settings.seedCount, 1, kSeedCapacity);
    const auto seedAt = [&](const SeedIndex& index) {
        return settings.seed[static_cast<std::size_t>(index.value)];
    };
    const auto filter = [&](std::int32_t pitch) {
        return static_cast<NoteByte>(scaleFilter(pitch, settings.scaleIndex, settings.transpose) &
                                     0xFF);
    };

    // Voices 2 and 3 and the harmony replay their opening in every second
    // block of repeatSpan steps; voice 1's slow level acts from repeatSpan on.
    // 64 bits, so no repeat length can overflow.
    const std::int64_t repeatSpan = std::int64_t{settings.repeatLength} * count * count;
    std::int64_t windowStart = repeatSpan;

    std::int32_t voice1Pitch = wrappingAdd(settings.voiceOffset[0], 48);
    std::int32_t voice2Pitch = wrappingAdd(settings.voiceOffset[1], 48);
    std::int32_t voice3Pitch = wrappingAdd(settings.voiceOffset[2], 48);
    const Fold fold1(settings.lowOctave[0], settings.highOctave[0]);
    const Fold fold2(settings.lowOctave[1], settings.highOctave[1]);
    const Fold fold3(settings.lowOctave[2], settings.highOctave[2]);

    SeedIndex fastIndex1, midIndex1, slowIndex1, fastIndex2, midIndex2, fastIndex3;

    for (int i = 0; i < kStepCount; ++i) {
        if (i == windowStart + repeatSpan) {
            windowStart += 2 * repeatSpan;
        }
        const bool inWindow = windowStart <= i && i < windowStart + repeatSpan;

        // Voice 1: a fast level every step, a mid level whenever the fast one
        // wraps, and a slow level, shared with voices 2 and 3, whenever the mid
        // one wraps too.
        voice1Pitch = wrappingAdd(voice1Pitch, seedAt(fastIndex1));
        if (fastIndex1.advance(count)) {
            voice1Pitch = wrappingAdd(voice1Pitch, seedAt(midIndex1));
            if (midIndex1.advance(count) && i >= repeatSpan) {
                const std::int32_t shift = seedAt(slowIndex1);
                voice2Pitch = wrappingAdd(voice2Pitch, shift);
                voice3Pitch = wrappingAdd(voice3Pitch, shift);
                voice1Pitch = wrappingAdd(voice1Pitch, shift);
                slowIndex1.advance(count);
            }
        }
        voice1Pitch = fold1.apply(voice1Pitch);
        score.voice1Notes[static_cast<std::size_t>(i)] = filter(voice1Pitch);

        if (i % 2 == 0) {
            const auto entry = static_cast<std::size_t>(i / 2);
            voice2Pitch = wrappingAdd(voice2Pitch, seedAt(fastIndex2));
            if (fastIndex2.advance(count)) {
                voice2Pitch = wrappingAdd(voice2Pitch, seedAt(midIndex2));
                midIndex2.advance(count);
            }
            voice2Pitch = fold2.apply(voice2Pitch);
            if (inWindow) {
                const auto source = static_cast<std::size_t>((i - windowStart) / 2);
                score.voice2Notes[entry] = score.voice2Notes[source];
                score.harmonyNotes[entry] = score.harmonyNotes[source];
            } else {
                score.voice2Notes[entry] = filter(voice2Pitch);
                score.harmonyNotes[entry] =
                    filter(wrappingAdd(voice2Pitch, settings.harmonyOffset));
            }
        }

        if (i % 4 == 0) {
            const auto entry = static_cast<std::size_t>(i / 4);
            voice3Pitch = wrappingAdd(voice3Pitch, seedAt(fastIndex3));
            fastIndex3.advance(count);
            voice3Pitch = fold3.apply(voice3Pitch);
            if (inWindow) {
                score.voice3Notes[entry] =
                    score.voice3Notes[static_cast<std::size_t>((i - windowStart) / 4)];
            } else {
                score.voice3Notes[entry] = filter(voice3Pitch);
            }
        }
    }
}

} // namespace tarnwick
