#include <vector>

#include <gtest/gtest.h>

#include "composition/random.h"

namespace tarnwick {
namespace {

// The state whose next draw returns `value`: x = s * a + c with the chosen
// value in bits 16..30, solved for s with the inverse of a modulo 2^32.
std::uint32_t stateBefore(int value) {
    constexpr std::uint32_t a = 214013u;
    std::uint32_t inverse = a; // Newton's iteration doubles the correct bits each round
    for (int i = 0; i < 5; ++i) {
        inverse *= 2u - a * inverse;
    }
    const std::uint32_t next = static_cast<std::uint32_t>(value) << 16;
    return (next - 2531011u) * inverse;
}

TEST(RandomGenerator, KnownSequenceForSeedOne) {
    RandomGenerator random(1);
    std::vector<int> values;
    for (int i = 0; i < 10; ++i) {
        values.push_back(random.next());
    }
    EXPECT_EQ(values,
              (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464}));
}

TEST(RandomGenerator, ReseedingRestartsTheSequence) {
    RandomGenerator random(12345);
    const int first = random.next();
    random.next();
    random.seed(12345);
    EXPECT_EQ(random.next(), first);
}

TEST(RandBelow, ExactIntegerRule) {
    struct Case {
        int r;
        int n;
        int expected;
    };
    // floor(r * n * 32769 / 2^30)
    for (const Case c : {Case{0, 7, 0}, Case{16383, 2, 0}, Case{16384, 2, 1}, Case{4681, 7, 0},
                         Case{4682, 7, 1}, Case{32767, 7, 6}, Case{32767, 128, 127},
                         Case{32767, 1, 0}, Case{256, 128, 1}, Case{255, 128, 0}}) {
        RandomGenerator random(stateBefore(c.r));
        EXPECT_EQ(randBelow(random, c.n), c.expected) << "r " << c.r << " n " << c.n;
    }
}

TEST(RandBelow, NeverReachesItsBound) {
    for (int n : {1, 2, 7, 8, 19, 32, 62, 100, 128, 32767, 32768, 65536, 1 << 30, 2147483647}) {
        RandomGenerator random(stateBefore(RandomGenerator::kMaxValue));
        const int largest = randBelow(random, n);
        EXPECT_LT(largest, n) << n;
        EXPECT_GE(largest, n == 1 ? 0 : n - 2) << n;
    }
    RandomGenerator random(99);
    for (int i = 0; i < 100000; ++i) {
        const int value = randBelow(random, 7);
        ASSERT_GE(value, 0);
        ASSERT_LT(value, 7);
    }
}

TEST(RandBelow, StateAdvancesOncePerDraw) {
    RandomGenerator a(7);
    RandomGenerator b(7);
    randBelow(a, 32);
    b.next();
    EXPECT_EQ(a.state(), b.state());
    // A bound below 1 draws nothing.
    EXPECT_EQ(randBelow(a, 0), 0);
    EXPECT_EQ(a.state(), b.state());
}

} // namespace
} // namespace tarnwick
