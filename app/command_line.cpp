#include "app/command_line.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "app/play_command.h"
#include "app/score_json.h"
#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "playback/transport.h"

namespace tarnwick {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage: tarnwick [OPTION]...\n"
    "Compose a permutating fugal canon from a random seed.\n"
    "\n"
    "  --print-score     print the score of a freshly drawn seed as JSON\n"
    "  --rand-seed N     seed the random generator with N (default: the clock)\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n";

enum class Action { None, PrintScore, Help, Version };

struct Options {
    Action action = Action::None;
    std::optional<std::uint32_t> randSeed;
};

struct UsageError {
    std::string message;
};

// A decimal integer, optionally signed, of any length, taken modulo 2^32.
std::optional<std::uint32_t> parseRandSeed(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return negative ? 0u - value : value;
}

std::variant<Options, UsageError> parseOptions(std::span<const std::string_view> arguments) {
    Options options;
    const auto setAction = [&](Action action) -> std::optional<UsageError> {
        if (options.action != Action::None && options.action != action) {
            return UsageError{"more than one command given"};
        }
        options.action = action;
        return std::nullopt;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        std::optional<UsageError> error;
        if (argument == "--print-score") {
            error = setAction(Action::PrintScore);
        } else if (argument == "--help" || argument == "-h") {
            error = setAction(Action::Help);
        } else if (argument == "--version") {
            error = setAction(Action::Version);
        } else if (argument == "--rand-seed") {
            if (i + 1 == arguments.size()) {
                return UsageError{"--rand-seed needs a number"};
            }
            const std::string_view value = arguments[++i];
            options.randSeed = parseRandSeed(value);
            if (!options.randSeed) {
                return UsageError{"--rand-seed needs a decimal integer, not '" +
                                  std::string(value) + "'"};
            }
        } else {
            return UsageError{"unknown option '" + std::string(argument) + "'"};
        }
        if (error) {
            return *error;
        }
    }
    return options;
}

int printScore(const Options& options, std::ostream& out) {
    RandomGenerator random(options.randSeed.value_or(tickCountMs()));
    SongSettings settings;
    applyStartValues(settings, random);
    Score score;
    generateScore(settings, score);
    fillDrumNotes(settings, score);
    out << scoreToJson(score) << '\n';
    return kExitSuccess;
}

} // namespace

int runCommandLine(std::span<const std::string_view> arguments, std::ostream& out,
                   std::ostream& err) {
#ifdef TARNWICK_HAS_PLAY_COMMAND
    if (isPlayCommand(arguments)) {
        return runPlayCommand(arguments, out, err);
    }
#endif
    const auto parsed = parseOptions(arguments);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        err << "tarnwick: " << error->message << '\n' << kUsage;
        return kExitUsage;
    }
    const auto& options = std::get<Options>(parsed);
    switch (options.action) {
    case Action::PrintScore:
        return printScore(options, out);
    case Action::Help:
        out << kUsage;
        return kExitSuccess;
    case Action::Version:
        out << "tarnwick " << TARNWICK_VERSION << '\n';
        return kExitSuccess;
    case Action::None:
        break;
    }
    err << "tarnwick: no command given\n" << kUsage;
    return kExitUsage;
}

} // namespace tarnwick
