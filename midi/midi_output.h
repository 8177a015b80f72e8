#pragma once
// Where the performance's MIDI messages go. A message is a channel message
// packed into 32 bits: status in bits 0-7, first data byte in bits 8-15,
// second data byte in bits 16-23, bits 24-31 zero. Messages are delivered in
// the order they are sent.

#include <chrono>
#include <cstdint>

namespace tarnwick {

using SteadyClock = std::chrono::steady_clock;

// A place on a JACK transport that the performance follows: the transport
// frame where messages belong, and the frame where the transport's current
// run of rolling began (its start or last relocation). An output on the same
// JACK server writes such messages at that very frame while that run lasts;
// once the run has ended (a stop, a relocation) it drops their note-ons and
// clock pulses and sends the rest at once.
//
// Following MIDI clock received on our JACK client, `frame` and `runStart`
// count clock pulses instead (ClockPulses): the pulse where messages belong
// and the one where the clock's run (its Start, Continue or Song Position)
// began, each run counted in a range of its own, so that the stamps of two
// runs never meet. Such messages are written at the frame of their pulse.
enum class StampTimeline : std::uint8_t { TransportFrames, ClockPulses };

struct TransportStamp {
    std::int64_t frame = 0;
    std::int64_t runStart = 0;
    StampTimeline timeline = StampTimeline::TransportFrames;

    bool operator==(const TransportStamp&) const = default;
};

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

    // The messages sent from now on belong to `stamp` on a followed JACK
    // transport, which plays at about `time`. An output that cannot write at
    // a JACK frame takes the time instead.
    virtual void setMessageStamp(const TransportStamp& /*stamp*/, SteadyClock::time_point time) {
        setMessageTime(time);
    }

    // The messages sent from now on belong to the very moment `time` of a
    // timeline followed on the steady clock (a Link session). An output that
    // writes at frames writes them at the frame where `time` plays, with no
    // latency added; the others take it as a message time.
    virtual void setMessageInstant(SteadyClock::time_point time) { setMessageTime(time); }

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
