#include <map>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "app/no_display.h"
#include "cli/command_parser.h"

namespace tarnwick {
namespace {

#if !defined(_WIN32) && !defined(__APPLE__)
TEST(NoDisplay, AWindowNeedsADisplayOrAnotherWindowSystem) {
    const auto available = [](std::map<std::string, std::string> variables) {
        return displayAvailable([&](const char* name) -> const char* {
            const auto found = variables.find(name);
            return found == variables.end() ? nullptr : found->second.c_str();
        });
    };
    EXPECT_FALSE(available({}));
    EXPECT_FALSE(available({{"DISPLAY", ""}, {"HOME", "/root"}}));
    EXPECT_TRUE(available({{"DISPLAY", ":0"}}));
    EXPECT_TRUE(available({{"WAYLAND_DISPLAY", "wayland-0"}}));
    EXPECT_TRUE(available({{"QT_QPA_PLATFORM", "offscreen"}}));
}
#endif

// Every command line the explanation suggests is one the program takes.
TEST(NoDisplay, SuggestsCommandLinesTheProgramTakes) {
    std::ostringstream explanation;
    explainNoDisplay(explanation, "build/app/tarnwick");
    std::istringstream lines(explanation.str());
    int suggested = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> arguments(std::istream_iterator<std::string>(words), {});
        if (arguments.empty() || arguments.front() != "build/app/tarnwick") {
            continue;
        }
        const std::vector<std::string_view> views(arguments.begin() + 1, arguments.end());
        const auto parsed = parseCommandLine(views);
        EXPECT_TRUE(std::holds_alternative<ParsedCommandLine>(parsed)) << line;
        ++suggested;
    }
    EXPECT_EQ(suggested, 6);
}

} // namespace
} // namespace tarnwick
