#pragma once
// Maps moments of the steady clock onto the frames of a JACK server's process
// cycles, so that whatever is due at a moment is placed at its frame. The
// process callback starts a little after its cycle's frames began, at times
// many milliseconds later when the machine is busy; a delay-locked loop over
// those start times (the SampleClock the built-in synthesiser also uses)
// smooths them into a straight line whose slope follows the server's true
// rate. The server's rate is known exactly, so the loop starts narrow: a late
// callback at the start moves the line by little. The callback's thread alone
// uses it.

#include <cstdint>

#include "outputs/sample_clock.h"

namespace tarnwick {

class JackTimeMap {
  public:
    explicit JackTimeMap(double sampleRate) : clock_(sampleRate, kBandwidthHz, kStartBandwidthHz) {}

    // At the start of a process callback that began at nowNs (steady clock)
    // for `frames` frames from JACK's frame time `firstFrame`, which wraps
    // at 2^32.
    void beginCycle(std::uint32_t firstFrame, std::uint32_t frames, std::int64_t nowNs) {
        if (clock_.started()) {
            frame_ += static_cast<std::uint32_t>(firstFrame - lastFirstFrame_);
        }
        lastFirstFrame_ = firstFrame;
        frames_ = frames;
        clock_.update(nowNs, frame_);
    }

    // The frame of this cycle, counted from its first and with a fraction,
    // that timeNs falls on: below 0 before the cycle, frames() or more after.
    double offsetOf(std::int64_t timeNs) const {
        return clock_.frameAt(timeNs) - static_cast<double>(frame_);
    }

    std::uint32_t frames() const { return frames_; }

  private:
    static constexpr double kBandwidthHz = 0.5;
    static constexpr double kStartBandwidthHz = 1.0;

    SampleClock clock_;
    std::int64_t frame_ = 0; // the cycle's first frame, counted without wrapping
    std::uint32_t lastFirstFrame_ = 0;
    std::uint32_t frames_ = 0;
};

} // namespace tarnwick
