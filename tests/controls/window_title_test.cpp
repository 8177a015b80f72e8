#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "controls/window_title.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// The file name without its last extension; a path without a folder or
// without a name gives no title. Full stops in folder names do not count.
TEST(WindowTitle, IsTheFileNameWithoutItsLastExtension) {
    const std::pair<fs::path, std::string> cases[] = {{"/music/song.tarn", "song"},
                                                      {"/music/my.song.tarn", "my.song"},
                                                      {"/out/canon.mid", "canon"},
                                                      {"/music/song", "song"},
                                                      {"/song.tarn", "song"},
                                                      {"/music.old/song", "song"},
                                                      {"/a.b/c.d/e.f.tarn", "e.f"},
                                                      {"song.tarn", ""},
                                                      {"", ""},
                                                      {"/music/.tarn", ""}};
    for (const auto& [path, title] : cases) {
        EXPECT_EQ(titleFromPath(path), title) << path;
    }
    // Every character of a long Unicode name is kept.
    const std::u8string name = u8"Fuga für drei Stimmen – 曲 ♫";
    const std::u8string longFolder(300, u8'x');
    const fs::path path = fs::path(u8"/") / longFolder / longFolder / (name + u8".tarn");
    EXPECT_EQ(titleFromPath(path), std::string(name.begin(), name.end()));
#ifdef _WIN32
    EXPECT_EQ(titleFromPath(fs::path(L"C:\\music.old\\song.tarn")), "song");
    EXPECT_EQ(titleFromPath(fs::path(L"D:/x/canon.mid")), "canon");
#endif
}

} // namespace
} // namespace tarnwick
