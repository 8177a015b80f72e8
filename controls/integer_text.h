#pragma once
// How every control panel turns the text of an edit into an integer and back.
// The Qt dialog and the in-memory panel both use these, so the two read and
// show the same values.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

// Leading blanks (spaces and tabs) are skipped, then decimal digits are read
// up to the first other character. A text without digits, or whose value is
// above 4294967295, reads as 0.
std::uint32_t parseUnsignedText(std::string_view text);

// As parseUnsignedText, with an optional minus sign directly before the
// digits. A value outside -2147483648..2147483647 reads as 0.
std::int32_t parseSignedText(std::string_view text);

// The field's 32 bits as an unsigned decimal number: -1 shows as 4294967295.
std::string formatUnsignedText(std::int32_t value);

// The value as a signed decimal number.
std::string formatSignedText(std::int32_t value);

} // namespace tarnwick
