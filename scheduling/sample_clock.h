#pragma once
// Maps the steady clock onto the sample clock of an audio stream: which frame
// is being rendered at a given moment. The audio callback tells it, at the
// start of every call, the time and the index of the first frame it renders.
// Callback times jitter (the scheduler, bursts of several callbacks in a row),
// so a second-order delay-locked loop smooths them into a straight line whose
// slope follows the sound card's true rate. Used by the audio thread only.

#include <cstdint>

namespace tarnwick {

class SampleClock {
  public:
    // sampleRate in frames per second. The loop starts wide (startBandwidthHz)
    // to lock on within a fraction of a second, and narrows over the first
    // seconds to bandwidthHz, where jitter of a few milliseconds averages out
    // to a small fraction of a millisecond.
    explicit SampleClock(double sampleRate, double bandwidthHz = 0.5,
                         double startBandwidthHz = 8.0);

    // A render callback began at nowNs (steady clock, nanoseconds) and renders
    // from `frame` on. The first call starts the clock; a callback more than
    // kResyncSeconds off the line (an audio stall) puts the line through it
    // and widens the loop again, as does `restart`: the stream itself says
    // its line moved (a sound server's cycle missed), by however little.
    void update(std::int64_t nowNs, std::int64_t frame, bool restart = false);

    bool started() const { return started_; }

    // The (fractional) frame rendered at timeNs. Only after the first update.
    double frameAt(std::int64_t timeNs) const;

    // The frames per second the loop has measured.
    double measuredRate() const { return 1.0 / secondsPerFrame_; }

    static constexpr double kResyncSeconds = 0.05;

  private:
    double seconds(std::int64_t timeNs) const;

    double nominalSecondsPerFrame_;
    double bandwidthHz_;
    double startBandwidthHz_;
    bool started_ = false;
    std::int64_t originNs_ = 0;
    // The loop's state: the smoothed time (seconds since originNs_) at which
    // anchorFrame_ was rendered, and the smoothed length of one frame.
    double anchorTime_ = 0.0;
    double lockedSince_ = 0.0; // seconds since originNs_ of the last (re)start
    std::int64_t anchorFrame_ = 0;
    double secondsPerFrame_;
};

} // namespace tarnwick
