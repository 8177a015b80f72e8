#pragma once
// The text of the "seed" box: up to eight signed integers separated by white
// space.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

using SeedValues = std::array<std::int32_t, 8>;

// Reads up to eight numbers into seed[0], seed[1], ... and returns how many
// were read: 1..8; 0 when the text does not start with a number; -1 when it
// is empty or only white space. Entries beyond the numbers read keep their
// values. Each number is optional white space, an optional sign, then
// hexadecimal digits after 0x or 0X, octal digits after a leading 0, or
// decimal digits. The first character that cannot continue a number ends it;
// the next number may follow at once ("08" is 0 then 8, "1-2" is 1 then -2),
// and anything that cannot start one ends the whole parse. A "0x" with no
// hexadecimal digit after it reads as 0, the x included. A sign without
// digits is no number.
//
// A number beyond the 32-bit range saturates: it becomes 2147483647 or
// -2147483648, whichever is nearer. So a large value never turns into a
// small or opposite-signed one, whatever its length.
int parseSeedText(std::string_view text, SeedValues& seed);

// The first seedCount values as signed decimal numbers separated by single
// blanks; all eight for a count below 0 or above 8; nothing for 0. The text is
// built in a fixed buffer sized for eight of the longest values (95
// characters) and is never cut.
std::string formatSeed(const SeedValues& seed, std::int32_t seedCount);

} // namespace tarnwick
