#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "composition/scale.h"

namespace tarnwick {
namespace {

constexpr int kMinor = 0;
constexpr int kMajor = 1;
constexpr int kChromatic = 3;

TEST(ScaleTable, RowsInListOrderWithTheirPitchClasses) {
    struct Row {
        std::string_view name;
        std::vector<int> classes;
    };
    const std::vector<Row> expected = {
        {"Minor", {0, 2, 3, 5, 7, 8, 10}},
        {"Major", {0, 2, 4, 5, 7, 9, 11}},
        {"Pentatonic Minor", {0, 3, 5, 7, 10}},
        {"Chromatic", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"Blues", {0, 3, 5, 6, 7, 10}},
        {"Country", {0, 3, 4, 7, 9}},
        {"Diminished W/H", {0, 2, 3, 5, 6, 8, 9, 11}},
        {"Pentatonic Major", {0, 2, 4, 7, 9}},
        {"Harmonic Minor", {0, 2, 3, 5, 7, 8, 11}},
        {"Melodic Minor", {0, 2, 3, 5, 7, 9, 11}},
        {"Whole Tones", {0, 2, 4, 6, 8, 10}},
        {"Diminished H/W", {0, 1, 3, 4, 6, 7, 9, 10}},
        {"Mixolydian", {0, 2, 4, 5, 7, 9, 10}},
        {"Dorian", {0, 2, 3, 5, 7, 9, 10}},
        {"Lydian", {0, 2, 4, 6, 7, 9, 11}},
        {"Phrygian", {0, 1, 3, 5, 7, 8, 10}},
        {"Phrygian Major", {0, 1, 4, 5, 7, 8, 10}},
        {"Locrian", {0, 2, 4, 6, 7, 9, 10}},
        {"Lydian Dominant", {0, 1, 3, 5, 6, 8, 10}},
    };
    ASSERT_EQ(scaleTable.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(scaleTable[i].name, expected[i].name) << "row " << i;
        // The filter passes exactly the row's classes over an octave from C4.
        std::vector<int> passed;
        for (int pitch = 60; pitch < 72; ++pitch) {
            if (scaleFilter(pitch, static_cast<int>(i), 0) == pitch) {
                passed.push_back(pitch - 60);
            }
        }
        EXPECT_EQ(passed, expected[i].classes) << "row " << i;
    }
}

TEST(ScaleFilter, Edges) {
    struct Case {
        int pitch, scale, transpose, expected;
    };
    for (const Case c :
         {// The scale is tested before transposing: transpose moves the key.
          Case{60, kMajor, 2, 62}, Case{62, kMajor, 2, 64}, Case{61, kMajor, 2, 0},
          // 12 is the lowest note; lower pitches rest in every scale.
          Case{12, kMinor, 0, 12}, Case{11, kChromatic, 0, 0}, Case{-1, 19, 0, 0},
          Case{-13, kChromatic, 0, 0}, Case{12, kChromatic, -11, 1},
          // One wrap at 128.
          Case{127, kMinor, 1, 0}, Case{128, kMinor, 0, 0}, Case{140, kChromatic, 0, 12},
          Case{255, kChromatic, 0, 127}, Case{256, kChromatic, 0, 128}, Case{127, kChromatic, 5, 4},
          // Additions wrap in 32 bits.
          Case{2147483647, kChromatic, 1, -2147483647 - 1},
          // An index outside the table lets every class pass.
          Case{73, kMinor, 0, 0}, Case{73, 19, 0, 73}, Case{73, -1, 0, 73},
          // The last two rows keep their own sets.
          Case{66, 17, 0, 66}, Case{63, 17, 0, 0}, Case{61, 18, 0, 61}, Case{62, 18, 0, 0}}) {
        EXPECT_EQ(scaleFilter(c.pitch, c.scale, c.transpose), c.expected)
            << "pitch " << c.pitch << " scale " << c.scale << " transpose " << c.transpose;
    }
}

} // namespace
} // namespace tarnwick
