#pragma once
// The output "trace": sounds nothing and writes every message as it is sent,
// one line each: "<tick> <status> <data1> <data2>", the three bytes as two
// uppercase hexadecimal digits each (all three always; a program change's
// second data byte is 00, a clock message's two are). It writes what a port
// would be sent, MIDI clock included.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "playback/output_device.h"

namespace tarnwick {

class TraceOutput final : public OutputDevice {
  public:
    // `ticksPlayed` belongs to the caller and is read at every message: 0 for
    // the set-up messages of a start, k for the messages of the k-th tick, and
    // for the messages of a Stop the number of ticks played before it.
    TraceOutput(std::ostream& out, const std::int64_t& ticksPlayed)
        : out_(out), ticksPlayed_(ticksPlayed) {}

    void send(std::uint32_t message) override;
    OutputState state() const override { return OutputState::playing(OutputPath::Trace, {}); }
    bool takesClock() const override { return true; }
    bool isSilent() const override { return false; }

  private:
    std::ostream& out_;
    const std::int64_t& ticksPlayed_;
};

// One line of the trace, without its newline: "12 90 3C 5A".
std::string formatTraceLine(std::int64_t tick, std::uint32_t message);

} // namespace tarnwick
