#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "files/atomic_file.h"
#include "tests/support/temp_dir.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A folder holding the file "song"; each write offers it 312 new bytes.
class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override { testing::writeBytes(target, previous); }

    // A failed write says why and leaves the target and no temporary file.
    void expectRefused(const FileResult& result, const std::string& path, const std::string& reason,
                       std::size_t files = 1) {
        EXPECT_EQ(result.message(), path + ": " + reason);
        EXPECT_EQ(testing::readBytes(target), previous);
        EXPECT_EQ(dir.names().size(), files);
    }

    testing::TempDir dir;
    std::string target = dir.file("song");
    Bytes previous = Bytes(100, 1);
    Bytes replacement = Bytes(312, 2);
};

// Through a symbolic link the file it names is replaced, keeping its mode.
TEST_F(AtomicFile, ReplacesTheFileALinkNamesAndKeepsItsMode) {
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink("song", dir.file("link").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(dir.file("link"), replacement).ok());
    EXPECT_EQ(testing::readBytes(target), replacement);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms{0640});
    EXPECT_EQ(dir.names().size(), 2u);
}

// A file-size limit stops the write at 200 bytes; then a rename over a folder.
TEST_F(AtomicFile, AWriteOrRenameThatFailsChangesNothing) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 200;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const FileResult result = writeFileAtomically(target, replacement);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    expectRefused(result, target, "File too large");

    const std::string folder = dir.file("folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    expectRefused(writeFileAtomically(folder, replacement), folder, "Is a directory", 2);
}

} // namespace
} // namespace tarnwick
