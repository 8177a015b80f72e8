#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "composition/canon_generator.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"

namespace tarnwick {
namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun run(std::vector<std::string_view> arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCommandLine(arguments, out, err);
    return {status, out.str(), err.str()};
}

std::size_t countValues(const std::string& json, const std::string& key) {
    const std::regex array("\"" + key + "\":\\[([0-9,]*)\\]");
    std::smatch match;
    if (!std::regex_search(json, match, array)) {
        return 0;
    }
    const std::string values = match[1];
    return values.empty()
               ? 0
               : static_cast<std::size_t>(std::count(values.begin(), values.end(), ',')) + 1;
}

TEST(PrintScore, CompactJsonWithEveryTable) {
    const CliRun r = run({"--print-score", "--rand-seed", "42"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.out.find(' '), std::string::npos);
    EXPECT_EQ(r.out.rfind("{\"voice1\":[", 0), 0u);
    EXPECT_EQ(countValues(r.out, "voice1"), 1024u);
    EXPECT_EQ(countValues(r.out, "voice2"), 512u);
    EXPECT_EQ(countValues(r.out, "harmony"), 512u);
    EXPECT_EQ(countValues(r.out, "voice3"), 256u);
    EXPECT_EQ(r.out.substr(r.out.size() - 27), "\"drums\":[0,0,0,0,0,0,0,0]}\n");
}

TEST(PrintScore, FollowsTheStartSequenceForTheGivenSeed) {
    RandomGenerator random(42);
    SongSettings settings;
    applyStartValues(settings, random);
    Score score;
    generateScore(settings, score);
    const CliRun r = run({"--rand-seed", "42", "--print-score"});
    EXPECT_NE(r.out.find("\"voice1\":[" + std::to_string(score.voice1Notes[0]) + "," +
                         std::to_string(score.voice1Notes[1]) + ","),
              std::string::npos);
    EXPECT_EQ(run({"--print-score", "--rand-seed", "42"}).out, r.out);
}

TEST(PrintScore, RandSeedIsTakenModulo2To32) {
    const std::string one = run({"--print-score", "--rand-seed", "1"}).out;
    EXPECT_EQ(run({"--print-score", "--rand-seed", "4294967297"}).out, one);
    EXPECT_EQ(run({"--print-score", "--rand-seed", "-4294967295"}).out, one);
    EXPECT_NE(run({"--print-score", "--rand-seed", "2"}).out, one);
}

TEST(CommandLine, BadUsageExitsWithTwoAndExplains) {
    for (const auto& arguments : std::vector<std::vector<std::string_view>>{
             {"--bogus"},
             {"--print-score", "--rand-seed"},
             {"--print-score", "--rand-seed", "12x"},
             {"--print-score", "--rand-seed", ""},
             {"--print-score", "--help"},
         }) {
        const CliRun r = run(arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: tarnwick"), std::string::npos);
    }
}

TEST(CommandLine, HelpAndVersionGoToStandardOutput) {
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--print-score"), std::string::npos);
    const CliRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tarnwick ") + TARNWICK_VERSION + "\n");
}

} // namespace
} // namespace tarnwick
