#pragma once
// Short messages for the output tests.

#include <cstdint>

#include "playback/midi_output.h"

namespace tarnwick::testing {

constexpr std::uint32_t noteOn(int channel, int key, int velocity) {
    return packShortMessage(static_cast<std::uint8_t>(0x90 + channel),
                            static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity));
}
constexpr std::uint32_t noteOff(int channel, int key) {
    return packShortMessage(static_cast<std::uint8_t>(0x80 + channel),
                            static_cast<std::uint8_t>(key));
}
constexpr std::uint32_t programChange(int channel, int program) {
    return packShortMessage(static_cast<std::uint8_t>(0xC0 + channel),
                            static_cast<std::uint8_t>(program));
}
constexpr std::uint32_t controlChange(int channel, int controller, int value) {
    return packShortMessage(static_cast<std::uint8_t>(0xB0 + channel),
                            static_cast<std::uint8_t>(controller),
                            static_cast<std::uint8_t>(value));
}
constexpr std::uint32_t allSoundOff(int channel) {
    return controlChange(channel, 120, 0);
}

inline constexpr int kDrumChannel = 9;
inline constexpr int kHighWoodBlock = 76;

} // namespace tarnwick::testing
