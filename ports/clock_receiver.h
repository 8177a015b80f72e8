#pragma once
// Reads MIDI clock from the events of a JACK MIDI input, on JACK's process
// thread, and keeps where the clock stands: Start (FA) begins a run at pulse
// 0, Continue (FB) one where the clock stopped, Song Position (F2) moves
// there (six pulses a sixteenth; while running it begins a run there), Stop
// (FC) ends the run, and each pulse (F8) of a run moves on by one. The
// spacing of the pulses gives the tempo. A run without a pulse for two
// seconds ends, and so does one whose port goes away; the view says why.
//
// Each run counts its pulses in a range of its own (run number × kRunSpan),
// so messages stamped with a pulse (StampTimeline::ClockPulses) are placed
// by place(): at the frame of their pulse when it comes in this cycle, held
// until it comes, or dropped when their run ended before it came.
//
// Nothing here allocates or waits; the view goes to other threads through a
// sequence count and atomics.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "midi/midi_output.h"
#include "playback/clock_input.h"

namespace tarnwick {

class ClockReceiver {
  public:
    static constexpr std::int64_t kRunSpan = std::int64_t{1} << 40;

    explicit ClockReceiver(double sampleRate) : sampleRate_(sampleRate) {}

    // --- JACK's process thread ---

    // A cycle whose first frame is `firstFrame` (JACK's frame count) and
    // plays at `startNs` on the steady clock, `nsPerFrame` a frame.
    void beginCycle(std::uint32_t firstFrame, std::int64_t startNs, double nsPerFrame);
    // One event of the input, `offset` frames into the cycle.
    void receive(const std::uint8_t* data, std::size_t size, std::uint32_t offset);
    // After the cycle's events: looks for a lost clock and publishes.
    void endCycle(std::uint32_t frames);

    struct Placement {
        bool wait = false; // its pulse has not come yet
        bool drop = false; // its run ended before its pulse came
        double offset = 0.0;
    };
    // Where in this cycle a message stamped on the pulses goes;
    // `startsSound` for note-ons and clock pulses.
    Placement place(const TransportStamp& stamp, bool startsSound) const;

    // --- any thread ---

    ClockView view() const;
    // The port went away (JACK's notification thread): a run ends.
    void portGone() { portGone_.store(true, std::memory_order_relaxed); }
    // The server stopped: the view keeps the fault.
    void serverGone() { serverGone_.store(true, std::memory_order_relaxed); }
    // Forget the last run and fault: a new follower begins.
    void reset() { resetAsked_.store(true, std::memory_order_relaxed); }

  private:
    static constexpr std::size_t kPulsesKept = 25; // a beat of spacings
    static constexpr std::size_t kPulsesACycle = 64;
    static constexpr double kSilenceSeconds = 2.0;

    void beginRun(bool fromStart, std::int64_t ns, std::int64_t frame);
    void endRun(ClockFault why);
    void pulse(std::int64_t ns, std::int64_t frame, double offset);
    double framesPerPulse() const;
    void publish();

    double sampleRate_;
    // The process thread's own.
    std::int64_t cycleFrame_ = 0; // JACK's frame count, widened
    std::uint32_t lastFirstFrame_ = 0;
    bool cycleSeen_ = false;
    std::int64_t cycleNs_ = 0;
    double nsPerFrame_ = 0.0;
    bool running_ = false;
    std::int64_t runs_ = 0;
    bool fromStart_ = false;
    std::int64_t position_ = 0; // the next pulse, since the clock's start
    std::int64_t firstPulse_ = 0;
    std::int64_t lastHeard_ = 0; // the frame of the last pulse, Start or Continue
    std::int64_t lastHeardNs_ = 0;
    std::int64_t endedStart_ = -1; // the ended run: its start and first unreached pulse
    std::int64_t endedEnd_ = -1;
    ClockFault fault_ = ClockFault::None;
    std::array<std::int64_t, kPulsesKept> pulseFrames_{};
    std::size_t pulsesHeard_ = 0;
    struct CyclePulse {
        std::int64_t pulse;
        double offset;
    };
    std::array<CyclePulse, kPulsesACycle> cyclePulses_{};
    std::size_t cyclePulseCount_ = 0;
    // Set by other threads.
    std::atomic<bool> portGone_{false};
    std::atomic<bool> serverGone_{false};
    std::atomic<bool> resetAsked_{false};
    // Published: a sequence count (odd while writing) and the view.
    std::atomic<std::uint64_t> sequence_{0};
    std::atomic<bool> rolling_{false};
    std::atomic<std::int64_t> frame_{0};
    std::atomic<std::int64_t> runStart_{0};
    std::atomic<std::int64_t> timeNs_{0};
    std::atomic<double> beats_{0.0};
    std::atomic<double> beatsPerMinute_{120.0};
    std::atomic<std::int64_t> run_{0};
    std::atomic<bool> startedFromStart_{false};
    std::atomic<ClockFault> publishedFault_{ClockFault::None};
};

} // namespace tarnwick
