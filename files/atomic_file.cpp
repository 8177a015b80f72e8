#include "files/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

} // namespace

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(std::move(path)), target_(resolveTarget(path_)), result_(FileResult::success(path_)) {
    struct stat info {};
    if (stat(target_.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        if (access(target_.c_str(), W_OK) != 0) {
            fail(errno);
            return;
        }
        keepMode_ = true;
        mode_ = info.st_mode & 07777;
    }
    fd_ = createTemporary(target_, temporary_);
    if (fd_ < 0) {
        temporary_.clear(); // nothing was created
        fail(errno);
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        close(fd_);
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
    }
}

void AtomicFileWriter::fail(int error) {
    if (result_.ok()) {
        result_ = FileResult::failure(path_, systemReason(error));
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

// Resumes after short writes and interruptions.
bool AtomicFileWriter::write(std::span<const std::uint8_t> bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno != EINTR) {
                fail(errno);
            }
            continue;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return fd_ >= 0;
}

void AtomicFileWriter::startFlush() {
    // Only a hint: a failure shows in flush() or commit().
    if (fd_ >= 0) {
        (void)sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
}

bool AtomicFileWriter::flush() {
    if (fd_ >= 0 && fsync(fd_) != 0) {
        fail(errno);
    }
    return fd_ >= 0;
}

FileResult AtomicFileWriter::commit() {
    if (fd_ < 0) {
        return result_;
    }
    if ((keepMode_ && fchmod(fd_, static_cast<mode_t>(mode_)) != 0) || fsync(fd_) != 0) {
        fail(errno);
        return result_;
    }
    const int closed = close(fd_);
    fd_ = -1;
    if (closed != 0 || rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail(errno);
        return result_;
    }
    temporary_.clear(); // it is the target now
    return result_;
}

FileResult writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    AtomicFileWriter file(path);
    file.write(bytes);
    return file.commit();
}

} // namespace tarnwick
