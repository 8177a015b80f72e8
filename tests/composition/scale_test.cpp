#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "composition/scale.h"

namespace tarnwick {
namespace {

constexpr int kMinor = 0;
constexpr int kMajor = 1;
constexpr int kChromatic = 3;

std::vector<int> acceptedClasses(const ScaleRow& row) {
    std::vector<int> result;
    for (int c = 0; c < 12; ++c) {
        if (row.accepts(c)) {
            result.push_back(c);
        }
    }
    return result;
}

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
        EXPECT_EQ(acceptedClasses(scaleTable[i]), expected[i].classes) << "row " << i;
        // Every row's filter agrees with its class set over two octaves.
        for (int pitch = 60; pitch < 84; ++pitch) {
            const bool accepted = scaleTable[i].accepts(pitch % 12);
            EXPECT_EQ(scaleFilter(pitch, static_cast<int>(i), 0), accepted ? pitch : 0)
                << "row " << i << " pitch " << pitch;
        }
    }
}

TEST(ScaleFilter, TransposeMovesTheKeyAnchoredAtC) {
    EXPECT_EQ(scaleFilter(60, kMajor, 0), 60);
    EXPECT_EQ(scaleFilter(61, kMajor, 0), 0);
    EXPECT_EQ(scaleFilter(60, kMajor, 2), 62);
    EXPECT_EQ(scaleFilter(62, kMajor, 2), 64);
    EXPECT_EQ(scaleFilter(61, kMajor, 2), 0); // tested before transposing
    EXPECT_EQ(scaleFilter(12, kChromatic, -11), 1);
}

TEST(ScaleFilter, PitchesBelowTwelveAreRestsInEveryScale) {
    EXPECT_EQ(scaleFilter(12, kMinor, 0), 12);
    for (int scale = -1; scale <= 19; ++scale) {
        for (int pitch : {11, 0, -1, -12, -13, -2147483647 - 1}) {
            EXPECT_EQ(scaleFilter(pitch, scale, 0), 0) << "scale " << scale << " pitch " << pitch;
        }
    }
}

TEST(ScaleFilter, WrapsOnceAt128) {
    EXPECT_EQ(scaleFilter(127, kMinor, 1), 0);
    EXPECT_EQ(scaleFilter(128, kMinor, 0), 0);
    EXPECT_EQ(scaleFilter(140, kChromatic, 0), 12);
    EXPECT_EQ(scaleFilter(255, kChromatic, 0), 127);
    EXPECT_EQ(scaleFilter(256, kChromatic, 0), 128);
    EXPECT_EQ(scaleFilter(127, kChromatic, 5), 4);
    // Additions wrap in 32 bits instead of overflowing.
    EXPECT_EQ(scaleFilter(2147483647, kChromatic, 1), -2147483647 - 1);
}

TEST(ScaleFilter, IndexOutsideTheTableLetsEveryClassPass) {
    EXPECT_EQ(scaleFilter(73, kMinor, 0), 0);
    for (int index : {19, -1, 1000, -2147483647 - 1}) {
        EXPECT_EQ(scaleFilter(73, index, 0), 73) << "index " << index;
    }
}

TEST(ScaleFilter, LastRowsKeepTheirOwnSets) {
    EXPECT_EQ(scaleFilter(66, 17, 0), 66); // Locrian
    EXPECT_EQ(scaleFilter(63, 17, 0), 0);
    EXPECT_EQ(scaleFilter(61, 18, 0), 61); // Lydian Dominant
    EXPECT_EQ(scaleFilter(62, 18, 0), 0);
}

} // namespace
} // namespace tarnwick
