#include "cli/option_values.h"

#include <algorithm>
#include <charconv>

namespace tarnwick {

namespace {

// The longest --seconds: a week, far beyond any use, and small enough for the
// timer's milliseconds.
constexpr double kMaxSeconds = 7.0 * 24 * 3600;

constexpr std::int64_t kLowestSeed = -(std::int64_t{1} << 31);
constexpr std::int64_t kHighestSeed = (std::int64_t{1} << 32) - 1;

std::string_view withoutSign(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    return text;
}

} // namespace

bool isDecimalInteger(std::string_view text) {
    const std::string_view digits = withoutSign(text);
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::uint32_t> parseRandSeed(std::string_view text) {
    if (!isDecimalInteger(text)) {
        return std::nullopt;
    }
    const bool negative = text.front() == '-';
    // Leading zeros can make any length; the value is what counts.
    std::int64_t magnitude = 0;
    for (char c : withoutSign(text)) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kHighestSeed) {
            return std::nullopt;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < kLowestSeed) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value < 0 ? value + kHighestSeed + 1 : value);
}

std::optional<double> parseSeconds(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value > 0.0) ||
        value > kMaxSeconds) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> parseTicks(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace tarnwick
