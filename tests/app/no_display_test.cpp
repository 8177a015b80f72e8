#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/no_display.h"
#include "cli/command_line.h"
#include "composition/song_settings.h"
#include "files/settings_file.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

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

// Every command line the explanation suggests works as shown.
TEST(NoDisplay, TheSuggestedCommandLinesWork) {
    std::ostringstream explanation;
    explainNoDisplay(explanation, "build/app/tarnwick");
    EXPECT_NE(explanation.str().find("nothing is played"), std::string::npos);

    const fs::path folder = fs::temp_directory_path() / "tarnwick-no-display-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    ASSERT_TRUE(saveSettingsFile("song.tarn", SongSettings{}).ok());
    std::istringstream lines(explanation.str());
    int suggested = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> arguments;
        for (std::string word; words >> word;) {
            arguments.push_back(word);
        }
        if (arguments.empty() || arguments.front() != "build/app/tarnwick") {
            continue;
        }
        arguments.erase(arguments.begin());
        if (arguments.front() == "--play") {
            // No sound card here: the same options, through the silent
            // output, for a few steps played back to back.
            if (const auto seconds = std::ranges::find(arguments, "--seconds");
                seconds != arguments.end()) {
                arguments.erase(seconds, seconds + 2);
            }
            arguments.insert(arguments.end(), {"--output", "none", "--ticks", "4"});
        }
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runCommandLine(views, out, err), 0) << line << "\n" << err.str();
        ++suggested;
    }
    EXPECT_EQ(suggested, 6);
    EXPECT_TRUE(fs::exists("canon.mid") && fs::exists("song.mid"));
    fs::current_path(previous);
    fs::remove_all(folder);
}

} // namespace
} // namespace tarnwick
