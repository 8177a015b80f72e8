#include "files/settings_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "composition/song_settings.h"
#include "files/atomic_file.h"

namespace tarnwick {

namespace {

// Calls visit on every stored field of the record, in file order.
template <typename Settings, typename Visit>
constexpr void forEachStoredField(Settings& s, Visit&& visit) {
    visit(s.seedCount);
    for (auto& value : s.seed) {
        visit(value);
    }
    visit(s.scaleIndex);
    for (auto* voiceArray : {&s.instrument, &s.lowOctave, &s.highOctave, &s.voiceOffset, &s.volume,
                             &s.hold, &s.modulation, &s.portamento}) {
        for (auto& value : *voiceArray) {
            visit(value);
        }
    }
    visit(s.beatLength);
    visit(s.stepMs);
    visit(s.drumVolume);
    for (auto& value : s.drumKit) {
        visit(value);
    }
    visit(s.transpose);
    visit(s.repeatLength);
    visit(s.harmonyOffset);
    for (auto& value : s.reserved) {
        visit(value);
    }
}

constexpr std::size_t storedFieldCount() {
    SongSettings settings;
    std::size_t count = 0;
    forEachStoredField(settings, [&](std::int32_t&) { ++count; });
    return count;
}
static_assert((storedFieldCount() + 1) * 4 == kSettingsFileSize,
              "the version word and every field fill the file exactly");

// Byte by byte, so the machine's own byte order never matters.
void putLittleEndian32(std::uint8_t* out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

std::int32_t getLittleEndian32(const std::uint8_t* in) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= std::uint32_t{in[i]} << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

std::string shortFileReason(std::size_t size) {
    return "not a Tarnwick settings file: " + std::to_string(size) + " bytes, " +
           std::to_string(kSettingsFileSize) + " expected";
}

} // namespace

SettingsFileBytes encodeSettings(const SongSettings& settings) {
    SettingsFileBytes bytes{};
    putLittleEndian32(bytes.data(), kSettingsFileVersion);
    std::size_t offset = 4;
    forEachStoredField(settings, [&](const std::int32_t& value) {
        putLittleEndian32(bytes.data() + offset, value);
        offset += 4;
    });
    return bytes;
}

void decodeSettings(const SettingsFileBytes& bytes, SongSettings& settings) {
    std::size_t offset = 4;
    forEachStoredField(settings, [&](std::int32_t& value) {
        value = getLittleEndian32(bytes.data() + offset);
        offset += 4;
    });
}

std::string decodeSettingsFile(std::span<const std::uint8_t> contents, SongSettings& settings) {
    if (contents.size() < kSettingsFileSize) {
        return shortFileReason(contents.size());
    }
    SettingsFileBytes bytes;
    std::memcpy(bytes.data(), contents.data(), kSettingsFileSize);
    decodeSettings(bytes, settings);
    return {};
}

FileResult saveSettingsFile(const std::string& path, const SongSettings& settings) {
    const SettingsFileBytes bytes = encodeSettings(settings);
    return writeFileAtomically(path, bytes);
}

FileResult loadSettingsFile(const std::string& path, SongSettings& settings) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return FileResult::failure(path, std::strerror(errno));
    }
    SettingsFileBytes bytes{};
    std::size_t filled = 0;
    int error = 0;
    while (filled < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            break;
        }
        if (got == 0) {
            break; // end of file
        }
        filled += static_cast<std::size_t>(got);
    }
    close(fd);
    if (error != 0) {
        return FileResult::failure(path, std::strerror(error));
    }
    const std::string reason =
        decodeSettingsFile(std::span<const std::uint8_t>(bytes.data(), filled), settings);
    return reason.empty() ? FileResult::success(path) : FileResult::failure(path, reason);
}

} // namespace tarnwick
