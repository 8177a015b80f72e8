#include "files/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

std::string systemReason(int error) {
    return std::strerror(error);
}

// The file a write should replace: the target of a symbolic link, else the
// path itself.
std::string resolveTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        return path; // a dangling link is replaced like a missing file
    }
    return resolved;
}

// "dir/.name.tmp-PID-N" beside "dir/name": hidden, and on the same file
// system as the target so the final rename cannot copy.
std::string temporaryName(const std::string& target, unsigned attempt) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

// Creates the temporary file exclusively. Mode 0666 lets the umask decide the
// permissions, as for any newly created file.
int createTemporary(const std::string& target, std::string& temporary) {
    constexpr unsigned kAttempts = 100;
    for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
        temporary = temporaryName(target, attempt);
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// Writes every byte, resuming after short writes and interruptions. Returns
// 0 or the error number.
int writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace

FileResult writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string target = resolveTarget(path);

    std::optional<mode_t> existingMode;
    struct stat info {};
    if (stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        if (access(target.c_str(), W_OK) != 0) {
            return FileResult::failure(path, systemReason(errno));
        }
        existingMode = info.st_mode & 07777;
    }

    std::string temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0) {
        return FileResult::failure(path, systemReason(errno));
    }

    int error = writeAll(fd, bytes);
    if (error == 0 && existingMode && fchmod(fd, *existingMode) != 0) {
        error = errno;
    }
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return FileResult::failure(path, systemReason(error));
    }
    return FileResult::success(path);
}

} // namespace tarnwick
