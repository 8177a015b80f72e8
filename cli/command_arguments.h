#pragma once
// What every command-line command shares: the usage error it reports, the
// walk through its arguments and the reading of --rand-seed.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick {

struct UsageError {
    std::string message;
};

// A decimal integer, optionally signed, of any length, taken modulo 2^32;
// nothing for any other text.
std::optional<std::uint32_t> parseRandSeed(std::string_view text);

// Walks the arguments; an option that takes a value takes the next one.
class ArgumentReader {
  public:
    explicit ArgumentReader(std::span<const std::string_view> arguments) : arguments_(arguments) {}

    bool done() const { return next_ == arguments_.size(); }
    std::string_view take() { return arguments_[next_++]; }

    // The next argument, or nothing at the end.
    std::optional<std::string_view> takeValue() {
        if (done()) {
            return std::nullopt;
        }
        return take();
    }

  private:
    std::span<const std::string_view> arguments_;
    std::size_t next_ = 0;
};

} // namespace tarnwick
