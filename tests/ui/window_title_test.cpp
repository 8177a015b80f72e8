#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "ui/window_title.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// A path from its parts, joined with the platform's separator.
fs::path pathOf(std::initializer_list<std::u8string_view> parts) {
    fs::path path = fs::path(u8"/");
    for (const auto part : parts) {
        path /= fs::path(part);
    }
    return path;
}

TEST(WindowTitle, IsTheFileNameWithoutItsLastExtension) {
    EXPECT_EQ(titleFromPath(pathOf({u8"music", u8"song.tarn"})), "song");
    EXPECT_EQ(titleFromPath(pathOf({u8"music", u8"my.song.tarn"})), "my.song");
    EXPECT_EQ(titleFromPath(pathOf({u8"out", u8"canon.mid"})), "canon");
    EXPECT_EQ(titleFromPath(pathOf({u8"music", u8"song"})), "song");
    EXPECT_EQ(titleFromPath(pathOf({u8"song.tarn"})), "song");
}

TEST(WindowTitle, AFullStopInAFolderNameDoesNotShortenTheName) {
    EXPECT_EQ(titleFromPath(pathOf({u8"music.old", u8"song"})), "song");
    EXPECT_EQ(titleFromPath(pathOf({u8"a.b", u8"c.d", u8"e.f.tarn"})), "e.f");
}

TEST(WindowTitle, APathWithoutFolderOrWithoutNameGivesAnEmptyTitle) {
    EXPECT_EQ(titleFromPath(fs::path("song.tarn")), "");
    EXPECT_EQ(titleFromPath(fs::path("")), "");
    EXPECT_EQ(titleFromPath(pathOf({u8"music", u8".tarn"})), "");
}

TEST(WindowTitle, KeepsEveryCharacterOfLongUnicodeNames) {
    const std::u8string name = u8"Fuga für drei Stimmen – 曲 ♫";
    std::u8string longFolder(300, u8'x');
    const fs::path path = pathOf({longFolder, longFolder, name + u8".tarn"});
    EXPECT_GT(path.native().size(), 600u);
    EXPECT_EQ(titleFromPath(path), std::string(name.begin(), name.end()));
}

#ifdef _WIN32
TEST(WindowTitle, TakesBothSeparatorsOnWindows) {
    EXPECT_EQ(titleFromPath(fs::path(L"C:\\music\\song.tarn")), "song");
    EXPECT_EQ(titleFromPath(fs::path(L"C:\\music.old\\song")), "song");
    EXPECT_EQ(titleFromPath(fs::path(L"D:/x/canon.mid")), "canon");
}
#endif

} // namespace
} // namespace tarnwick
