#pragma once
// A short MIDI message as readable text ("90 3C 5A"), to compare and print.

#include <cstdint>
#include <cstdio>
#include <string>

#include "midi/midi_output.h"

namespace tarnwick::testing {

inline std::string messageText(std::uint32_t message) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X", messageStatus(message),
                  messageData1(message), messageData2(message));
    return text;
}

} // namespace tarnwick::testing
