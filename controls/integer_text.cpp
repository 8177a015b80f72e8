#include "controls/integer_text.h"

#include <limits>

namespace tarnwick {

namespace {

constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void skipBlanks(std::string_view& text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
}

// The digits at the start of the text, as a magnitude; 0 for no digits and
// for a value above `limit`.
std::uint64_t readMagnitude(std::string_view text, std::uint64_t limit) {
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!isDigit(c)) {
            break;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit) {
            return 0;
        }
    }
    return value;
}

} // namespace

std::uint32_t parseUnsignedText(std::string_view text) {
    skipBlanks(text);
    const std::uint64_t value = readMagnitude(text, std::numeric_limits<std::uint32_t>::max());
    return static_cast<std::uint32_t>(value);
}

std::int32_t parseSignedText(std::string_view text) {
    skipBlanks(text);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    // The magnitude of the most negative value is one more than the largest.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    const std::uint64_t magnitude = readMagnitude(text, limit);
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

std::string formatUnsignedText(std::int32_t value) {
    return std::to_string(static_cast<std::uint32_t>(value));
}

std::string formatSignedText(std::int32_t value) {
    return std::to_string(value);
}

} // namespace tarnwick
