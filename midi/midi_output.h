#pragma once
// Where the performance's MIDI messages go. A message is a channel message
// packed into 32 bits: status in bits 0-7, first data byte in bits 8-15,
// second data byte in bits 16-23, bits 24-31 zero. Messages are delivered in
// the order they are sent.

#include <chrono>
#include <cstdint>

namespace tarnwick {

using SteadyClock = std::chrono::steady_clock;

class MidiOutput {
  public:
    virtual ~MidiOutput() = default;

    // Sends one packed short message. Never blocks for long: safe to call from
    // the UI thread at every step.
    virtual void send(std::uint32_t message) = 0;

    // The moment on the steady clock that the messages sent from now on belong
    // to: the ideal time of the timer tick that sends them, or the time of the
    // command. An output that can schedule plays them a fixed latency after it,
    // so a late tick is still heard on the beat. Outputs that play at once
    // ignore it.
    virtual void setMessageTime(SteadyClock::time_point /*time*/) {}

    // True when MIDI clock (Start, pulses, Stop) should be sent here: a port
    // that a drum machine or sequencer may follow. A synthesiser has no use
    // for it.
    virtual bool takesClock() const { return false; }
};

// Packs a status byte and two data bytes into a short message.
constexpr std::uint32_t packShortMessage(std::uint8_t status, std::uint8_t data1,
                                         std::uint8_t data2 = 0) {
    return std::uint32_t{status} | (std::uint32_t{data1} << 8) | (std::uint32_t{data2} << 16);
}

constexpr std::uint8_t messageStatus(std::uint32_t message) {
    return static_cast<std::uint8_t>(message & 0xFF);
}
constexpr std::uint8_t messageData1(std::uint32_t message) {
    return static_cast<std::uint8_t>((message >> 8) & 0xFF);
}
constexpr std::uint8_t messageData2(std::uint32_t message) {
    return static_cast<std::uint8_t>((message >> 16) & 0xFF);
}

} // namespace tarnwick
