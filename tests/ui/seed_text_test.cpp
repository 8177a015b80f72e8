#include <limits>

#include <gtest/gtest.h>

#include "ui/seed_text.h"

namespace tarnwick {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t k_ = 77; // an entry the parse leaves alone

struct ParseCase {
    const char* text;
    int count;
    SeedValues seed;
};

TEST(SeedText, ParsesLikeIntegerConversions) {
    for (const ParseCase& c : {
             ParseCase{"", -1, {k_, k_, k_, k_, k_, k_, k_, k_}},
             ParseCase{" \t\n", -1, {k_, k_, k_, k_, k_, k_, k_, k_}},
             ParseCase{"x1", 0, {k_, k_, k_, k_, k_, k_, k_, k_}},
             ParseCase{"-", 0, {k_, k_, k_, k_, k_, k_, k_, k_}},
             ParseCase{"--1", 0, {k_, k_, k_, k_, k_, k_, k_, k_}},
             ParseCase{"5 -3 0x10 010", 4, {5, -3, 16, 8, k_, k_, k_, k_}},
             ParseCase{"1,2", 1, {1, k_, k_, k_, k_, k_, k_, k_}},
             ParseCase{"1 2 3 4 5 6 7 8 9", 8, {1, 2, 3, 4, 5, 6, 7, 8}},
             ParseCase{"  +7\t-0X1f\r\n-0x10 ", 3, {7, -31, -16, k_, k_, k_, k_, k_}},
             ParseCase{"08", 2, {0, 8, k_, k_, k_, k_, k_, k_}},    // octal 0, then 8
             ParseCase{"1-2+3", 3, {1, -2, 3, k_, k_, k_, k_, k_}}, // numbers may touch
             ParseCase{"0x", 1, {0, k_, k_, k_, k_, k_, k_, k_}},   // 0, the x used up
             ParseCase{"0x-1 9", 3, {0, -1, 9, k_, k_, k_, k_, k_}},
             ParseCase{"0xg", 1, {0, k_, k_, k_, k_, k_, k_, k_}},
             ParseCase{"3 - 4", 1, {3, k_, k_, k_, k_, k_, k_, k_}}, // a lone sign ends it
             // Beyond 32 bits the value saturates, whatever its length.
             ParseCase{"2147483647 2147483648 99999999999999999999999 0xFFFFFFFF",
                       4,
                       {kMax, kMax, kMax, kMax, k_, k_, k_, k_}},
             ParseCase{"-2147483648 -2147483649 -077777777777777777777",
                       3,
                       {kMin, kMin, kMin, k_, k_, k_, k_, k_}},
         }) {
        SeedValues seed;
        seed.fill(k_);
        EXPECT_EQ(parseSeedText(c.text, seed), c.count) << '"' << c.text << '"';
        EXPECT_EQ(seed, c.seed) << '"' << c.text << '"';
    }
}

TEST(SeedText, FormatShowsTheCountedValues) {
    const SeedValues seed = {1, -2, 3, 4, 5, 6, 7, -8};
    EXPECT_EQ(formatSeed(seed, 3), "1 -2 3");
    EXPECT_EQ(formatSeed(seed, 1), "1");
    EXPECT_EQ(formatSeed(seed, 0), "");
    for (const std::int32_t count : {8, -1, 9, kMin, kMax}) {
        EXPECT_EQ(formatSeed(seed, count), "1 -2 3 4 5 6 7 -8") << count;
    }
}

TEST(SeedText, TheLongestSeedIsShownInFullAndReadsBack) {
    SeedValues seed;
    seed.fill(kMin);
    const std::string text = formatSeed(seed, 8);
    EXPECT_EQ(text.size(), 95u);
    SeedValues back{};
    EXPECT_EQ(parseSeedText(text, back), 8);
    EXPECT_EQ(back, seed);
}

} // namespace
} // namespace tarnwick
