// How the panel's edits read and show numbers and seeds.

#include <limits>

#include <gtest/gtest.h>

#include "controls/integer_text.h"
#include "controls/seed_text.h"

namespace tarnwick {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// Text, unsigned read, signed read. The minus sign counts only on signed reads
// and directly before the digits; too large for the read gives 0.
TEST(IntegerText, ReadsLikeTheDialogsIntegerBoxes) {
    const std::tuple<const char*, std::uint32_t, std::int32_t> cases[] = {
        // clang-format off
        {"", 0, 0}, {"abc", 0, 0}, {"  42abc", 42, 42}, {"\t 7 8", 7, 7}, {"007", 7, 7},
        {"-5", 0, -5}, {"- 5", 0, 0}, {"+5", 0, 0}, {"2147483647", 2147483647u, kMax},
        {"2147483648", 2147483648u, 0}, {"-2147483648", 0, kMin}, {"-2147483649", 0, 0},
        {"4294967295", 4294967295u, 0}, {"4294967296", 0, 0}, {"99999999999999999999999", 0, 0}};
    // clang-format on
    for (const auto& [text, asUnsigned, asSigned] : cases) {
        EXPECT_EQ(parseUnsignedText(text), asUnsigned) << '"' << text << '"';
        EXPECT_EQ(parseSignedText(text), asSigned) << '"' << text << '"';
    }
    EXPECT_EQ(formatUnsignedText(-1), "4294967295");
    EXPECT_EQ(formatUnsignedText(kMin), "2147483648");
    EXPECT_EQ(formatSignedText(-12), "-12");
}

// Text, count, values read; the entries after them keep their 77. Beyond 32
// bits a value saturates, whatever its length.
TEST(SeedText, ParsesLikeIntegerConversions) {
    const std::tuple<const char*, int, std::vector<std::int32_t>> cases[] = {
        // clang-format off
        {"", -1, {}}, {" \t\n", -1, {}}, {"x1", 0, {}}, {"-", 0, {}}, {"--1", 0, {}},
        {"5 -3 0x10 010", 4, {5, -3, 16, 8}}, {"1,2", 1, {1}},
        {"1 2 3 4 5 6 7 8 9", 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"  +7\t-0X1f\r\n-0x10 ", 3, {7, -31, -16}},
        {"08", 2, {0, 8}},          // octal 0, then 8
        {"1-2+3", 3, {1, -2, 3}},   // numbers may touch
        {"0x", 1, {0}},             // 0, the x used up
        {"0x-1 9", 3, {0, -1, 9}}, {"0xg", 1, {0}},
        {"3 - 4", 1, {3}},          // a lone sign ends it
        {"2147483647 2147483648 99999999999999999999999 0xFFFFFFFF", 4, {kMax, kMax, kMax, kMax}},
        {"-2147483648 -2147483649 -077777777777777777777", 3, {kMin, kMin, kMin}}};
    // clang-format on
    for (const auto& [text, count, values] : cases) {
        SeedValues seed;
        seed.fill(77);
        SeedValues expected = seed;
        std::copy(values.begin(), values.end(), expected.begin());
        EXPECT_EQ(parseSeedText(text, seed), count) << '"' << text << '"';
        EXPECT_EQ(seed, expected) << '"' << text << '"';
    }
}

TEST(SeedText, FormatShowsTheCountedValuesAndTheLongestReadsBack) {
    const SeedValues seed = {1, -2, 3, 4, 5, 6, 7, -8};
    EXPECT_EQ(formatSeed(seed, 3), "1 -2 3");
    EXPECT_EQ(formatSeed(seed, 1), "1");
    EXPECT_EQ(formatSeed(seed, 0), "");
    for (const std::int32_t count : {8, -1, 9, kMin, kMax}) {
        EXPECT_EQ(formatSeed(seed, count), "1 -2 3 4 5 6 7 -8") << count;
    }
    SeedValues lowest;
    lowest.fill(kMin);
    const std::string text = formatSeed(lowest, 8);
    EXPECT_EQ(text.size(), 95u);
    SeedValues back{};
    EXPECT_EQ(parseSeedText(text, back), 8);
    EXPECT_EQ(back, lowest);
}

} // namespace
} // namespace tarnwick
