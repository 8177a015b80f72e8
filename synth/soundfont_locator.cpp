#include "synth/soundfont_locator.h"

#include <array>
#include <filesystem>
#include <fstream>

namespace tarnwick {

namespace {

constexpr std::array<const char*, 9> kDefaultPaths = {
    "/usr/share/sounds/sf2/default-GM.sf2",    "/usr/share/sounds/sf3/default-GM.sf3",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",    "/usr/share/soundfonts/default.sf2",
    "/usr/share/soundfonts/FluidR3_GM.sf2",    "/usr/share/sounds/sf3/MuseScore_General.sf3",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",      "/usr/share/soundfonts/default.sf3",
    "/usr/local/share/soundfonts/default.sf2",
};

} // namespace

std::span<const char* const> defaultSoundFontPaths() {
    return kDefaultPaths;
}

bool isReadableFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    return std::ifstream(path, std::ios::binary).good();
}

std::string findSoundFont(std::span<const char* const> candidates) {
    for (const char* candidate : candidates) {
        if (isReadableFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

std::string soundFontDisplayName(const std::string& path) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(path, error);
    if (error) {
        resolved = path;
    }
    return resolved.stem().string();
}

} // namespace tarnwick
