#include "composition/scale.h"

#include <initializer_list>

namespace tarnwick {

namespace {

constexpr std::uint16_t classes(std::initializer_list<int> pitchClasses) {
    std::uint16_t mask = 0;
    for (int c : pitchClasses) {
        mask = static_cast<std::uint16_t>(mask | (1u << c));
    }
    return mask;
}

constexpr std::int32_t kLowestNote = 12;
constexpr std::int32_t kNoteRange = 128;

} // namespace

const std::array<ScaleRow, kScaleCount> scaleTable = {{
    {"Minor", classes({0, 2, 3, 5, 7, 8, 10})},
    {"Major", classes({0, 2, 4, 5, 7, 9, 11})},
    {"Pentatonic Minor", classes({0, 3, 5, 7, 10})},
    {"Chromatic", classes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})},
    {"Blues", classes({0, 3, 5, 6, 7, 10})},
    {"Country", classes({0, 3, 4, 7, 9})},
    {"Diminished W/H", classes({0, 2, 3, 5, 6, 8, 9, 11})},
    {"Pentatonic Major", classes({0, 2, 4, 7, 9})},
    {"Harmonic Minor", classes({0, 2, 3, 5, 7, 8, 11})},
    {"Melodic Minor", classes({0, 2, 3, 5, 7, 9, 11})},
    {"Whole Tones", classes({0, 2, 4, 6, 8, 10})},
    {"Diminished H/W", classes({0, 1, 3, 4, 6, 7, 9, 10})},
    {"Mixolydian", classes({0, 2, 4, 5, 7, 9, 10})},
    {"Dorian", classes({0, 2, 3, 5, 7, 9, 10})},
    {"Lydian", classes({0, 2, 4, 6, 7, 9, 11})},
    {"Phrygian", classes({0, 1, 3, 5, 7, 8, 10})},
    {"Phrygian Major", classes({0, 1, 4, 5, 7, 8, 10})},
    {"Locrian", classes({0, 2, 4, 6, 7, 9, 10})},
    {"Lydian Dominant", classes({0, 1, 3, 5, 6, 8, 10})},
}};

std::int32_t scaleFilter(std::int32_t pitch, std::int32_t scaleIndex, std::int32_t transpose) {
    // Truncating remainder: a negative pitch gives a class in -11..0, which no
    // row rejects; the range test below makes such pitches rests anyway.
    const std::int32_t pitchClass = pitch % 12;
    if (scaleIndex >= 0 && scaleIndex < kScaleCount && pitchClass > 0 &&
        !scaleTable[static_cast<std::size_t>(scaleIndex)].accepts(pitchClass)) {
        return 0;
    }
    if (pitch < kLowestNote) {
        return 0;
    }
    auto note = static_cast<std::int32_t>(static_cast<std::uint32_t>(pitch) +
                                          static_cast<std::uint32_t>(transpose));
    if (note >= kNoteRange) {
        note -= kNoteRange;
    }
    return note;
}

} // namespace tarnwick
