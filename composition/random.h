#pragma once
// The program's one source of randomness: a 15-bit linear congruential
// generator, and the rule that turns its values into a range.

#include <cstdint>

namespace tarnwick {

class RandomGenerator {
  public:
    static constexpr int kMaxValue = 0x7FFF;

    explicit RandomGenerator(std::uint32_t seedValue = 1) : state_(seedValue) {}

    void seed(std::uint32_t seedValue) { state_ = seedValue; }

    // The next value, 0..32767.
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

    std::uint32_t state() const { return state_; }

  private:
    std::uint32_t state_;
};

// A value in 0..n-1 (for n >= 1) from the generator's next value r:
// floor(r * n * 32769 / 2^30), where 32769 / 2^30 is the single-precision value
// nearest 1/32767. Since 32767 * 32769 < 2^30 the result never reaches n; the
// guard keeps that promise explicit. Returns 0 without drawing for n < 1.
int randBelow(RandomGenerator& random, int n);

// A millisecond count from a steady clock, to seed the generator at start.
std::uint32_t tickCountMs();

} // namespace tarnwick
