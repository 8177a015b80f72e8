#pragma once
// An output that keeps every message it is sent, for tests and tools.

#include <cstdint>
#include <vector>

#include "midi/midi_output.h"

namespace tarnwick {

class RecordingOutput : public MidiOutput {
  public:
    void send(std::uint32_t message) override { messages.push_back(message); }
    bool takesClock() const override { return clock; }

    std::vector<std::uint32_t> messages;
    bool clock = false; // stands for a port, which takes MIDI clock
};

} // namespace tarnwick
