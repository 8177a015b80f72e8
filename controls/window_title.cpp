#include "controls/window_title.h"

namespace tarnwick {

std::string titleFromPath(const std::filesystem::path& path) {
    if (!path.has_parent_path()) {
        return {};
    }
    const std::u8string name = path.filename().u8string();
    const std::size_t stop = name.rfind(u8'.');
    const std::u8string base = stop == std::u8string::npos ? name : name.substr(0, stop);
    return {base.begin(), base.end()};
}

} // namespace tarnwick
