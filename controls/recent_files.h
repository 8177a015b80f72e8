#pragma once
// The settings files opened or saved last, newest first, without repeats.

#include <cstddef>
#include <filesystem>
#include <vector>

namespace tarnwick {

inline constexpr std::size_t kRecentFileCount = 10;

class RecentFiles {
  public:
    RecentFiles() = default;
    // Takes a stored list as it is, but keeps at most kRecentFileCount and no
    // repeats or empty paths.
    explicit RecentFiles(const std::vector<std::filesystem::path>& stored);

    // The path goes to the front; an older entry of it is dropped, and the
    // oldest entry when there are more than kRecentFileCount.
    void add(const std::filesystem::path& path);
    void remove(const std::filesystem::path& path);

    const std::vector<std::filesystem::path>& paths() const { return paths_; }

  private:
    std::vector<std::filesystem::path> paths_;
};

} // namespace tarnwick
