#include <csignal>
#include <span>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using testing::readBytes;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

// Each field holds its word's index times 65537, stored as the bytes
// {i, 0, i, 0}: a field at the wrong offset or in the wrong byte order shows.
// voiceOffset[0], word 20 at offset 80, holds -12.
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

// The file of numberedSettings(), written out by hand.
Bytes numberedFile() {
    Bytes file;
    for (std::uint8_t word = 0; word < 78; ++word) {
        const Bytes bytes = word == 0    ? Bytes{1, 0, 0, 0} // version 1
                            : word == 20 ? Bytes{0xF4, 0xFF, 0xFF, 0xFF}
                                         : Bytes{word, 0, word, 0};
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    return file;
}

TEST(SettingsFile, LayoutIsLittleEndianWordsInRecordOrderAndDecodesBack) {
    const SettingsFileBytes bytes = encodeSettings(numberedSettings());
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), numberedFile());
    Bytes longer = numberedFile();
    longer[0] = 7;            // the version word is not examined on load
    longer.resize(400, 0xAB); // and only the first 312 bytes are read
    SongSettings loaded;
    EXPECT_EQ(decodeSettingsFile(longer, loaded), "");
    EXPECT_EQ(loaded, numberedSettings());
}

// Saving through a symbolic link replaces the file it names and keeps that
// file's mode; loading a longer file reads its first 312 bytes.
TEST(SettingsFile, SaveAndLoad) {
    TempDir dir;
    const std::string real = dir.file("real.tarn");
    ASSERT_TRUE(saveSettingsFile(real, SongSettings{}).ok());
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.tarn", dir.file("link.tarn").c_str()), 0);
    ASSERT_TRUE(saveSettingsFile(dir.file("link.tarn"), numberedSettings()).ok());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.tarn")));
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms{0640});

    Bytes bytes = readBytes(real);
    EXPECT_EQ(bytes, numberedFile());
    bytes.resize(1000, 0xAB);
    testing::writeBytes(real, bytes);
    SongSettings loaded;
    ASSERT_TRUE(loadSettingsFile(real, loaded).ok());
    EXPECT_EQ(loaded, numberedSettings());
}

TEST(SettingsFile, ShortEmptyMissingAndFolderFilesChangeNothing) {
    TempDir dir;
    const Bytes image = numberedFile();
    for (const long size : {96L, 311L, 0L}) {
        const std::string path = dir.file(std::to_string(size) + ".tarn");
        testing::writeBytes(path, {image.begin(), image.begin() + size});
        SongSettings s;
        EXPECT_EQ(loadSettingsFile(path, s).message(),
                  path + ": not a Tarnwick settings file: " + std::to_string(size) +
                      " bytes, 312 expected");
        EXPECT_EQ(s, SongSettings{});
    }
    SongSettings s;
    EXPECT_EQ(loadSettingsFile(dir.file("missing.tarn"), s).reason, "No such file or directory");
    EXPECT_EQ(loadSettingsFile(dir.path().string(), s).reason, "Is a directory");
    EXPECT_EQ(s, SongSettings{});
}

// A failed save reports the target and the reason, leaves the previous file
// as it was and no temporary file behind.
class FailedSave : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(saveSettingsFile(target, numberedSettings()).ok()); }
    void expectUntouched(std::size_t names = 1) {
        EXPECT_EQ(readBytes(target), previousBytes);
        EXPECT_EQ(dir.names().size(), names);
    }

    TempDir dir;
    std::string target = dir.file("song.tarn");
    Bytes previousBytes = numberedFile();
};

TEST_F(FailedSave, IntoAReadOnlyFolderOrOverAReadOnlyFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root: permissions do not stop root's writes "
                        "(the part-way failure test covers root)";
    }
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    const FileResult folder = saveSettingsFile(target, SongSettings{});
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(folder.message(), target + ": Permission denied");
    expectUntouched();
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    EXPECT_EQ(saveSettingsFile(target, SongSettings{}).reason, "Permission denied");
    expectUntouched();
}

// A file-size limit makes the write fail after 100 of the 312 bytes, also for
// root. The limit is lifted again straight after the save.
TEST_F(FailedSave, WhenAWriteFailsPartWay) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const FileResult result = saveSettingsFile(target, SongSettings{});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(result.message(), target + ": File too large");
    expectUntouched();
}

// The rename, the last step, fails over a folder: the complete temporary
// file is removed again.
TEST_F(FailedSave, WhenTheFinalRenameFails) {
    const std::string folder = dir.file("folder.tarn");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(saveSettingsFile(folder, SongSettings{}).message(), folder + ": Is a directory");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    expectUntouched(2);
}

} // namespace
} // namespace tarnwick
