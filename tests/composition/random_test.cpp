#include <vector>

#include <gtest/gtest.h>

#include "composition/random.h"

namespace tarnwick {
namespace {

// The state whose next draw returns `value`: solves s * a + c = value << 16
// with the inverse of a modulo 2^32 (Newton's iteration).
std::uint32_t stateBefore(int value) {
    constexpr std::uint32_t a = 214013u;
    std::uint32_t inverse = a;
    for (int i = 0; i < 5; ++i) {
        inverse *= 2u - a * inverse;
    }
    return ((static_cast<std::uint32_t>(value) << 16) - 2531011u) * inverse;
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

TEST(RandBelow, ExactIntegerRuleNeverReachingTheBound) {
    struct Case {
        int r, n, expected;
    };
    // floor(r * n * 32769 / 2^30)
    for (const Case c :
         {Case{16383, 2, 0}, Case{16384, 2, 1}, Case{4681, 7, 0}, Case{4682, 7, 1},
          Case{255, 128, 0}, Case{256, 128, 1}, Case{32767, 1, 0}, Case{32767, 7, 6},
          Case{32767, 128, 127}, Case{32767, 65536, 65535}, Case{32767, 2147483647, 2147483645}}) {
        RandomGenerator random(stateBefore(c.r));
        EXPECT_EQ(randBelow(random, c.n), c.expected) << "r " << c.r << " n " << c.n;
    }
}

} // namespace
} // namespace tarnwick
