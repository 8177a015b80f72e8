#include "controls/seed_text.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

namespace tarnwick {

namespace {

constexpr int kMaxSeedValues = 8;

// The white space that separates numbers: space, tab, newline, vertical tab,
// form feed and carriage return.
constexpr bool isWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value of c as a digit of the base, or -1.
constexpr int digitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// Reads one number from the front of the text and removes what it used.
// Returns no value when the text does not start with a number.
std::optional<std::int32_t> readNumber(std::string_view& text) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int base = 10;
    bool sawDigit = false;
    if (pos < text.size() && text[pos] == '0') {
        sawDigit = true;
        base = 8;
        ++pos;
        if (pos < text.size() && (text[pos] == 'x' || text[pos] == 'X')) {
            base = 16;
            ++pos;
        }
    }
    // Magnitudes are capped just past the 32-bit range, which is all the
    // saturation needs to know and keeps the arithmetic in 64 bits.
    constexpr std::uint64_t kCap = std::uint64_t{1} << 32;
    std::uint64_t magnitude = 0;
    while (pos < text.size()) {
        const int digit = digitValue(text[pos], base);
        if (digit < 0) {
            break;
        }
        sawDigit = true;
        magnitude = std::min(
            magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit), kCap);
        ++pos;
    }
    if (!sawDigit) {
        return std::nullopt;
    }
    text.remove_prefix(pos);
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

void skipWhiteSpace(std::string_view& text) {
    while (!text.empty() && isWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
}

} // namespace

int parseSeedText(std::string_view text, SeedValues& seed) {
    skipWhiteSpace(text);
    if (text.empty()) {
        return -1;
    }
    int count = 0;
    while (count < kMaxSeedValues) {
        skipWhiteSpace(text);
        const std::optional<std::int32_t> number = readNumber(text);
        if (!number) {
            break;
        }
        seed[static_cast<std::size_t>(count++)] = *number;
    }
    return count;
}

std::string formatSeed(const SeedValues& seed, std::int32_t seedCount) {
    // Eight values of at most 11 characters ("-2147483648") and seven blanks.
    constexpr std::size_t kLongest = 8 * 11 + 7;
    std::array<char, kLongest> buffer{};
    const int count = (seedCount >= 0 && seedCount <= kMaxSeedValues) ? seedCount : kMaxSeedValues;
    char* end = buffer.data();
    char* const limit = buffer.data() + buffer.size();
    for (int i = 0; i < count; ++i) {
        if (i != 0) {
            *end++ = ' ';
        }
        const auto result = std::to_chars(end, limit, seed[static_cast<std::size_t>(i)]);
        end = result.ptr; // never fails: the buffer fits the longest text
    }
    return std::string(buffer.data(), end);
}

} // namespace tarnwick
