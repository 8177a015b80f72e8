#include "composition/random.h"

#include <chrono>

namespace tarnwick {

int randBelow(RandomGenerator& random, int n) {
    if (n < 1) {
        return 0;
    }
    const std::int64_t r = random.next();
    const std::int64_t result = (r * n * 32769) >> 30;
    return result >= n ? n - 1 : static_cast<int>(result);
}

std::uint32_t tickCountMs() {
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    return static_cast<std::uint32_t>(ms);
}

} // namespace tarnwick
