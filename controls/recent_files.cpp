#include "controls/recent_files.h"

#include <algorithm>

namespace tarnwick {

RecentFiles::RecentFiles(const std::vector<std::filesystem::path>& stored) {
    // Oldest first, so each add puts the newer one in front of it.
    for (auto path = stored.rbegin(); path != stored.rend(); ++path) {
        if (!path->empty()) {
            add(*path);
        }
    }
}

void RecentFiles::add(const std::filesystem::path& path) {
    remove(path);
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > kRecentFileCount) {
        paths_.resize(kRecentFileCount);
    }
}

void RecentFiles::remove(const std::filesystem::path& path) {
    std::erase(paths_, path);
}

} // namespace tarnwick
