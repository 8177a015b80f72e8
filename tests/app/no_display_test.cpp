#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/no_display.h"
#include "composition/song_settings.h"
#include "files/settings_file.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

EnvironmentLookup fakeEnvironment(std::map<std::string, std::string> variables) {
    return [variables = std::move(variables)](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    };
}

#if !defined(_WIN32) && !defined(__APPLE__)
TEST(NoDisplay, AWindowNeedsADisplayOrAnotherWindowSystem) {
    EXPECT_FALSE(displayAvailable(fakeEnvironment({})));
    EXPECT_FALSE(displayAvailable(fakeEnvironment({{"DISPLAY", ""}, {"HOME", "/root"}})));
    EXPECT_TRUE(displayAvailable(fakeEnvironment({{"DISPLAY", ":0"}})));
    EXPECT_TRUE(displayAvailable(fakeEnvironment({{"WAYLAND_DISPLAY", "wayland-0"}})));
    EXPECT_TRUE(displayAvailable(fakeEnvironment({{"QT_QPA_PLATFORM", "offscreen"}})));
}
#endif

// Every command line the explanation suggests works as shown.
TEST(NoDisplay, TheSuggestedCommandLinesWork) {
    std::ostringstream explanation;
    explainNoDisplay(explanation, "build/app/tarnwick");
    const std::string text = explanation.str();
    EXPECT_NE(text.find("nothing is played"), std::string::npos);
    EXPECT_NE(text.find("--play"), std::string::npos);

    const fs::path folder = fs::temp_directory_path() / "tarnwick-no-display-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    ASSERT_TRUE(saveSettingsFile("song.tarn", SongSettings{}).ok());

    std::istringstream lines(text);
    int suggested = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = "  build/app/tarnwick ";
        if (line.rfind(prefix, 0) != 0) {
            continue;
        }
        const std::string commandLine = line.substr(prefix.size());
        std::istringstream words(commandLine);
        std::vector<std::string> arguments;
        for (std::string word; words >> word;) {
            arguments.push_back(word);
        }
        if (arguments.front() == "--play") {
            // No sound card here: the same options, through the silent
            // output, for a few steps played back to back.
            if (const auto seconds = std::find(arguments.begin(), arguments.end(), "--seconds");
                seconds != arguments.end()) {
                arguments.erase(seconds, seconds + 2);
            }
            arguments.insert(arguments.end(), {"--output", "none", "--ticks", "4"});
        }
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runCommandLine(views, out, err), 0) << commandLine << "\n" << err.str();
        ++suggested;
    }
    EXPECT_EQ(suggested, 6);
    EXPECT_TRUE(fs::exists("canon.mid"));
    EXPECT_TRUE(fs::exists("song.mid"));
    fs::current_path(previous);
    fs::remove_all(folder);
}

} // namespace
} // namespace tarnwick
