#pragma once
// Writing a whole file so that it is either replaced completely or not at all.

#include <cstdint>
#include <span>
#include <string>

#include "files/file_result.h"

namespace tarnwick {

// A file written in pieces into a new temporary file in the target's folder,
// which replaces the target only when commit() succeeds; until then, and if
// any step fails, the target is left as it was. The temporary file is removed
// when the writer is destroyed without a successful commit, so a cancelled or
// failed write leaves nothing behind. An existing target keeps its permission
// bits; one that may not be written is refused, as an in-place write would be.
// A symbolic link is followed, so the file it names is replaced rather than
// the link.
class AtomicFileWriter {
  public:
    // Creates the temporary file; see result() for whether that worked.
    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Success while the temporary file is open, else the target and the
    // system's reason.
    const FileResult& result() const { return result_; }

    // The temporary file's descriptor, open for writing; -1 after a failure.
    int descriptor() const { return fd_; }

    // Writes every byte at the current position. False (and result() says
    // why) when that failed.
    bool write(std::span<const std::uint8_t> bytes);

    // Starts writing the data written so far to the disk without waiting for
    // it, so that a long write keeps the disk busy as it goes rather than
    // leaving it all for the end.
    void startFlush();

    // Flushes the data written so far to the disk, so that commit() has less
    // to wait for. False (and result() says why) when that failed.
    bool flush();

    // Flushes the data to the disk, closes the temporary file and renames it
    // over the target. After a failure nothing of it is left.
    FileResult commit();

  private:
    void fail(int error);

    std::string path_;   // as given, for messages
    std::string target_; // the file replaced: a link's target or the path
    std::string temporary_;
    int fd_ = -1;
    bool keepMode_ = false;
    unsigned mode_ = 0;
    FileResult result_;
};

// Writes `bytes` through an AtomicFileWriter: the target is replaced whole or
// left as it was, and a failure names the target and the system's reason.
FileResult writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace tarnwick
