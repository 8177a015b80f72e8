#pragma once
// The outcome of reading or writing one file: success, or the file's name and
// the reason it failed. Callers must look at it.

#include <string>
#include <utility>

namespace tarnwick {

struct [[nodiscard]] FileResult {
    std::string path;   // the file the operation was about
    std::string reason; // why it failed; empty on success

    static FileResult success(std::string filePath) { return {std::move(filePath), {}}; }
    static FileResult failure(std::string filePath, std::string why) {
        return {std::move(filePath), std::move(why)};
    }

    bool ok() const { return reason.empty(); }

    // "PATH: REASON", for an error message.
    std::string message() const { return path + ": " + reason; }
};

} // namespace tarnwick
