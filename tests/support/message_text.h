#pragma once
// Short MIDI messages as readable text ("90 3C 5A"), so whole sequences can be
// compared and printed.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "midi/midi_output.h"

namespace tarnwick::testing {

inline std::string messageText(std::uint32_t message) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X", messageStatus(message),
                  messageData1(message), messageData2(message));
    return text;
}

inline std::vector<std::string> messageTexts(const std::vector<std::uint32_t>& messages) {
    std::vector<std::string> texts;
    texts.reserve(messages.size());
    for (auto message : messages) {
        texts.push_back(messageText(message));
    }
    return texts;
}

} // namespace tarnwick::testing
