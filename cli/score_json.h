#pragma once

#include <string>

namespace tarnwick {

struct Score;

// The score as one line of compact JSON: the note bytes of voice 1, voice 2,
// the harmony, voice 3 and the drum slots, in that order.
std::string scoreToJson(const Score& score);

} // namespace tarnwick
