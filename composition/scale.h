#pragma once
// The 19 scales and the filter that turns an accumulated pitch into a note or
// a rest.

#include <array>
#include <cstdint>
#include <string_view>

namespace tarnwick {

inline constexpr int kScaleCount = 19;

struct ScaleRow {
    std::string_view name;
    // Bit c is set when pitch class c (0 = C .. 11 = B) belongs to the scale.
    std::uint16_t acceptedClasses;

    constexpr bool accepts(int pitchClass) const {
        return pitchClass >= 0 && pitchClass < 12 && ((acceptedClasses >> pitchClass) & 1u) != 0;
    }
};

// In the order the scale list shows them, so list position and index agree.
extern const std::array<ScaleRow, kScaleCount> scaleTable;

// The note for an accumulated pitch, or 0 for a rest. The scale test looks at
// the pitch before transposition, so the scale is anchored at C and transpose
// moves the whole key. Pitches below 12 are rests. A transposed result of 128
// or more has 128 taken off once; a result of 256 or more stays above 127.
// An index outside 0..18 lets every pitch class pass, as "Chromatic" does.
// Additions wrap in 32 bits.
std::int32_t scaleFilter(std::int32_t pitch, std::int32_t scaleIndex, std::int32_t transpose);

} // namespace tarnwick
