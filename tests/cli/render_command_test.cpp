// `tarnwick --render-audio`, driven in-process: its statuses, what it says and
// the file it writes.

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "outputs/piece_renderer.h"
#include "tests/cli/cli_run.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using testing::runCli;

TEST(RenderCommand, WritesThePieceOrSaysWhyNotAndWritesNothing) {
    testing::TempDir dir;
    SongSettings fast;
    fast.stepMs = 50;
    ASSERT_TRUE(saveSettingsFile(dir.file("fast.tarn"), fast).ok());
    const std::string settings = " --settings " + dir.file("fast.tarn");
    const std::string missing = dir.file("no/x.wav");
    const std::tuple<std::string, int, std::string> cases[] = {
        {"--render-audio x.mp3", 2,
         "--render-audio: the file name must end in .wav, .flac or .ogg, not 'x.mp3'\n"},
        {"--render-audio x.wav --settings /nonexistent/x.tarn", 2, "cannot load settings from /no"},
        {"--render-audio x.wav --soundfont /nonexistent/x.sf2", 2,
         "cannot read the SoundFont /nonexistent/x.sf2\n"},
        {"--render-audio " + missing + settings, 1,
         "cannot write " + missing + ": No such file or directory\n"},
    };
    for (const auto& [arguments, status, reason] : cases) {
        const testing::CliRun result = runCli(arguments);
        EXPECT_EQ(result.status, status) << arguments;
        EXPECT_TRUE(result.err.starts_with("tarnwick: " + reason)) << result.err;
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"fast.tarn"});

    // Standard error is no terminal here: no progress is shown.
    const testing::CliRun done = runCli("--render-audio " + dir.file("x.ogg") + settings);
    ASSERT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.out + done.err, "");
    SF_INFO info{};
    SNDFILE* file = sf_open(dir.file("x.ogg").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.frames, pieceFrames(50));
    sf_close(file);

    EXPECT_TRUE(runCli("--render-audio --help").out.starts_with("Usage: tarnwick --render-audio"));
}

} // namespace
} // namespace tarnwick
