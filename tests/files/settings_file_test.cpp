#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

std::int32_t wordAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        bits |= std::uint32_t{bytes[offset + i]} << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

// Every field set to a value of its own, so a field stored at the wrong
// offset shows.
SongSettings distinctSettings() {
    SongSettings s;
    std::int32_t next = 100;
    s.seedCount = next++;
    for (auto* array : {&s.instrument, &s.lowOctave, &s.highOctave, &s.voiceOffset, &s.volume,
                        &s.hold, &s.modulation, &s.portamento}) {
        for (auto& value : *array) {
            value = next++;
        }
    }
    for (auto& value : s.seed) {
        value = -next++;
    }
    s.scaleIndex = next++;
    s.beatLength = next++;
    s.stepMs = next++;
    s.drumVolume = next++;
    for (auto& value : s.drumKit) {
        value = next++;
    }
    s.transpose = next++;
    s.repeatLength = next++;
    s.harmonyOffset = next++;
    for (auto& value : s.reserved) {
        value = next++ * 65537;
    }
    return s;
}

TEST(SettingsFile, StoresEveryFieldAtItsOffsetLittleEndian) {
    SongSettings s = distinctSettings();
    s.voiceOffset[0] = -12;
    const SettingsFileBytes bytes = encodeSettings(s);

    EXPECT_EQ(wordAt(bytes, 0), 1) << "version word";
    EXPECT_EQ(wordAt(bytes, 4), s.seedCount);
    EXPECT_EQ(wordAt(bytes, 40), s.scaleIndex);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(wordAt(bytes, 8 + 4 * i), s.seed[i]);
        EXPECT_EQ(wordAt(bytes, 152 + 4 * i), s.drumKit[i]);
    }
    const std::pair<std::size_t, const VoiceValues*> voiceArrays[] = {
        {44, &s.instrument}, {56, &s.lowOctave}, {68, &s.highOctave},  {80, &s.voiceOffset},
        {92, &s.volume},     {104, &s.hold},     {116, &s.modulation}, {128, &s.portamento}};
    for (const auto& [offset, values] : voiceArrays) {
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(wordAt(bytes, offset + 4 * k), (*values)[k]) << "offset " << offset;
        }
    }
    EXPECT_EQ(wordAt(bytes, 140), s.beatLength);
    EXPECT_EQ(wordAt(bytes, 144), s.stepMs);
    EXPECT_EQ(wordAt(bytes, 148), s.drumVolume);
    EXPECT_EQ(wordAt(bytes, 184), s.transpose);
    EXPECT_EQ(wordAt(bytes, 188), s.repeatLength);
    EXPECT_EQ(wordAt(bytes, 192), s.harmonyOffset);
    for (std::size_t i = 0; i < 29; ++i) {
        EXPECT_EQ(wordAt(bytes, 196 + 4 * i), s.reserved[i]);
    }
    // -12 as two's complement, least significant byte first.
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin() + 80, bytes.begin() + 84)),
              (std::vector<std::uint8_t>{0xF4, 0xFF, 0xFF, 0xFF}));
}

TEST(SettingsFile, DecodeIgnoresTheVersionAndRestoresEveryField) {
    const SongSettings original = distinctSettings();
    SettingsFileBytes bytes = encodeSettings(original);
    bytes[0] = 7; // a version word of 7 loads exactly like 1
    SongSettings loaded;
    decodeSettings(bytes, loaded);
    EXPECT_EQ(loaded, original);
    EXPECT_EQ(encodeSettings(loaded)[0], 1) << "saving again writes version 1";
}

TEST(SettingsFile, AFileSavedAtStartHoldsTheStartValues) {
    RandomGenerator random(9);
    SongSettings s;
    applyStartValues(s, random);
    TempDir dir;
    ASSERT_TRUE(saveSettingsFile(dir.file("start.tarn"), s).ok());
    const std::vector<std::uint8_t> bytes = readBytes(dir.file("start.tarn"));
    ASSERT_EQ(bytes.size(), 312u);

    std::vector<std::int32_t> expected = {1, 8};
    expected.insert(expected.end(), s.seed.begin(), s.seed.end());
    for (const std::int32_t word : {0,                    // scale "Minor"
                                    0,  0,   0,           // instruments
                                    1,  1,   1,           // low octaves
                                    10, 10,  10,          // high octaves
                                    24, 12,  0,           // voice offsets
                                    90, 90,  90,          // volumes
                                    0,  1,   0,           // hold: voice 2 only
                                    0,  0,   0,  0, 0, 0, // modulation, portamento
                                    8,  175, 60}) {       // beat, ms per step, drum volume
        expected.push_back(word);
    }
    expected.resize(expected.size() + 8 + 3 + 29, 0); // drum kit, transpose..harmony, reserved
    ASSERT_EQ(expected.size(), 78u);
    for (std::size_t i = 0; i < 78; ++i) {
        EXPECT_EQ(wordAt(bytes, 4 * i), expected[i]) << "word " << i;
    }
}

TEST(SettingsFile, LoadThenSaveKeepsEveryValueAndTheReservedBlock) {
    TempDir dir;
    const SongSettings original = distinctSettings();
    ASSERT_TRUE(saveSettingsFile(dir.file("a.tarn"), original).ok());
    SongSettings loaded;
    ASSERT_TRUE(loadSettingsFile(dir.file("a.tarn"), loaded).ok());
    EXPECT_EQ(loaded, original);
    ASSERT_TRUE(saveSettingsFile(dir.file("b.tarn"), loaded).ok());
    EXPECT_EQ(readBytes(dir.file("b.tarn")), readBytes(dir.file("a.tarn")));
}

TEST(SettingsFile, ShortEmptyAndMissingFilesChangeNothing) {
    TempDir dir;
    const SettingsFileBytes image = encodeSettings(distinctSettings());
    const std::vector<std::uint8_t> full(image.begin(), image.end());
    const SongSettings before;
    struct Case {
        std::string name;
        std::size_t size;
        std::string reason;
    };
    for (const Case& c :
         {Case{"short.tarn", 96, "not a Tarnwick settings file: 96 bytes, 312 expected"},
          Case{"almost.tarn", 311, "not a Tarnwick settings file: 311 bytes, 312 expected"},
          Case{"empty.tarn", 0, "not a Tarnwick settings file: 0 bytes, 312 expected"}}) {
        writeBytes(dir.file(c.name), {full.begin(), full.begin() + static_cast<long>(c.size)});
        SongSettings s;
        const FileResult result = loadSettingsFile(dir.file(c.name), s);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.message(), dir.file(c.name) + ": " + c.reason);
        EXPECT_EQ(s, before) << c.name;
    }

    SongSettings s;
    const FileResult missing = loadSettingsFile(dir.file("missing.tarn"), s);
    EXPECT_EQ(missing.reason, "No such file or directory");
    const FileResult folder = loadSettingsFile(dir.path().string(), s);
    EXPECT_EQ(folder.reason, "Is a directory");
    EXPECT_EQ(s, before);
}

TEST(SettingsFile, ALongerFileLoadsItsFirst312Bytes) {
    TempDir dir;
    const SongSettings original = distinctSettings();
    const SettingsFileBytes image = encodeSettings(original);
    std::vector<std::uint8_t> bytes(image.begin(), image.end());
    bytes.resize(1000, 0xAB);
    writeBytes(dir.file("long.tarn"), bytes);
    SongSettings s;
    ASSERT_TRUE(loadSettingsFile(dir.file("long.tarn"), s).ok());
    EXPECT_EQ(s, original);
}

// --- Failed saves leave the previous file as it was --------------------------

class FailedSave : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(saveSettingsFile(target, previous).ok());
        previousBytes = readBytes(target);
    }

    // The previous file is intact and no temporary file is left.
    void expectUntouched() {
        EXPECT_EQ(readBytes(target), previousBytes);
        EXPECT_EQ(dir.names(), std::vector<std::string>{"song.tarn"});
    }

    TempDir dir;
    std::string target = dir.file("song.tarn");
    SongSettings previous = distinctSettings();
    SongSettings next;
    std::vector<std::uint8_t> previousBytes;
};

TEST_F(FailedSave, IntoAReadOnlyFolder) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root: a read-only folder does not stop root's writes "
                        "(the part-way failure test covers this case)";
    }
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    const FileResult result = saveSettingsFile(target, next);
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(result.message(), target + ": Permission denied");
    expectUntouched();
}

TEST_F(FailedSave, OverAReadOnlyFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root: root may write any file";
    }
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    EXPECT_EQ(saveSettingsFile(target, next).reason, "Permission denied");
    expectUntouched();
}

// The file-size limit makes the write fail after 100 of the 312 bytes, also
// for root. It runs in a child process so the limit does not reach the tests.
TEST_F(FailedSave, WhenAWriteFailsPartWay) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        const FileResult result = saveSettingsFile(target, next);
        const std::string message = result.message();
        if (write(pipeEnds[1], message.data(), message.size()) < 0) {
            _exit(3);
        }
        _exit(result.ok() ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string message;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        message.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the failure is reported";
    EXPECT_EQ(message, target + ": File too large");
    expectUntouched();
}

// The rename, the last step, fails when the target is a folder: the
// temporary file, complete by then, is removed again.
TEST_F(FailedSave, WhenTheFinalRenameFails) {
    const std::string folder = dir.file("folder.tarn");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const FileResult result = saveSettingsFile(folder, next);
    EXPECT_EQ(result.message(), folder + ": Is a directory");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(readBytes(target), previousBytes);
    EXPECT_EQ(dir.names().size(), 2u) << "only song.tarn and the folder";
}

TEST(SettingsFileSave, ReplacesTheFileBehindASymbolicLinkAndKeepsItsMode) {
    TempDir dir;
    ASSERT_TRUE(saveSettingsFile(dir.file("real.tarn"), SongSettings{}).ok());
    ASSERT_EQ(chmod(dir.file("real.tarn").c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.tarn", dir.file("link.tarn").c_str()), 0);
    const SongSettings s = distinctSettings();
    ASSERT_TRUE(saveSettingsFile(dir.file("link.tarn"), s).ok());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.tarn")));
    SongSettings loaded;
    ASSERT_TRUE(loadSettingsFile(dir.file("real.tarn"), loaded).ok());
    EXPECT_EQ(loaded, s);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("real.tarn").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

} // namespace
} // namespace tarnwick
