#include <span>

#include <gtest/gtest.h>

#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Field i holds i * 65537, the bytes {i, 0, i, 0}: a wrong offset or byte order
// shows. voiceOffset[0], word 20, holds -12 to show the sign.
SongSettings numberedSettings() {
    SongSettings s;
    std::int32_t word = 1; // word 0 is the version
    using Words = std::span<std::int32_t>;
    for (const Words fields :
         {Words(&s.seedCount, 1), Words(s.seed), Words(&s.scaleIndex, 1), Words(s.instrument),
          Words(s.lowOctave), Words(s.highOctave), Words(s.voiceOffset), Words(s.volume),
          Words(s.hold), Words(s.modulation), Words(s.portamento), Words(&s.beatLength, 1),
          Words(&s.stepMs, 1), Words(&s.drumVolume, 1), Words(s.drumKit), Words(&s.transpose, 1),
          Words(&s.repeatLength, 1), Words(&s.harmonyOffset, 1), Words(s.reserved)}) {
        for (std::int32_t& field : fields) {
            field = word++ * 65537;
        }
    }
    s.voiceOffset[0] = -12;
    return s;
}

Bytes numberedFile() {
    Bytes file = {1, 0, 0, 0}; // version 1
    for (std::uint8_t word = 1; word < 78; ++word) {
        const Bytes bytes = word == 20 ? Bytes{0xF4, 0xFF, 0xFF, 0xFF} : Bytes{word, 0, word, 0};
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    return file;
}

// Loads the first 312 bytes, any version; a short, missing or unreadable file changes nothing.
TEST(SettingsFile, SaveAndLoad) {
    testing::TempDir dir;
    const std::string path = dir.file("song.tarn");
    ASSERT_TRUE(saveSettingsFile(path, numberedSettings()).ok());
    Bytes bytes = testing::readBytes(path);
    EXPECT_EQ(bytes, numberedFile());
    bytes[0] = 7;
    bytes.resize(1000, 0xAB);
    testing::writeBytes(path, bytes);
    SongSettings loaded;
    ASSERT_TRUE(loadSettingsFile(path, loaded).ok());
    EXPECT_EQ(loaded, numberedSettings());

    for (const long size : {311L, 0L}) {
        testing::writeBytes(dir.file("short"), {bytes.begin(), bytes.begin() + size});
        EXPECT_EQ(loadSettingsFile(dir.file("short"), loaded).message(),
                  dir.file("short") + ": not a Tarnwick settings file: " + std::to_string(size) +
                      " bytes, 312 expected");
    }
    EXPECT_EQ(loadSettingsFile(dir.file("missing"), loaded).reason, "No such file or directory");
    EXPECT_EQ(loadSettingsFile(dir.file(""), loaded).reason, "Is a directory");
    EXPECT_EQ(loaded, numberedSettings());
}

} // namespace
} // namespace tarnwick
