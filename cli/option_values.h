#pragma once
// Reading the values of the command line's options from their text.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnwick {

// True for a decimal integer of any length with an optional sign.
bool isDecimalInteger(std::string_view text);

// A decimal integer from -2^31 to 2^32 - 1, as the random generator's seed: a
// negative n stands for 2^32 + n, so that -1 and 4294967295 seed alike.
// Nothing for other text or a value outside that range.
std::optional<std::uint32_t> parseRandSeed(std::string_view text);

// A number of seconds above 0 and at most a week; nothing for anything else.
std::optional<double> parseSeconds(std::string_view text);

// A whole number from 0 up; nothing for anything else.
std::optional<std::int64_t> parseTicks(std::string_view text);

} // namespace tarnwick
