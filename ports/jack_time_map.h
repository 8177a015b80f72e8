#pragma once
// Maps moments of the steady clock onto the frames of a JACK server's process
// cycle, from the cycle's start and the next cycle's start as the server
// itself reckons them (jack_get_cycle_times). The server's delay-locked loop
// follows the sound card, and a cycle stays right when the callback wakes up
// late or when a driver drops frames after a late wake-up, as JACK's dummy
// driver does. The callback's thread alone uses it.

#include <cstdint>

namespace tarnwick {

class JackTimeMap {
  public:
    // `clockOffsetNs` turns JACK's microseconds into the steady clock's
    // nanoseconds: steady = jack * 1000 + offset.
    explicit JackTimeMap(std::int64_t clockOffsetNs = 0) : clockOffsetNs_(clockOffsetNs) {}

    // At the start of a process callback for `frames` frames, whose first
    // frame plays at `startUs` and the next cycle's at `nextUs` (JACK's time).
    void beginCycle(std::uint32_t frames, std::uint64_t startUs, std::uint64_t nextUs) {
        frames_ = frames;
        startNs_ = static_cast<std::int64_t>(startUs) * 1000 + clockOffsetNs_;
        // A server that reports no length yet gets a nominal one.
        spanNs_ = nextUs > startUs ? static_cast<std::int64_t>(nextUs - startUs) * 1000 : 1'000'000;
    }

    // The frame of this cycle, counted from its first and with a fraction,
    // that timeNs falls on: below 0 before the cycle, frames() or more after.
    double offsetOf(std::int64_t timeNs) const {
        return static_cast<double>(timeNs - startNs_) * frames_ / static_cast<double>(spanNs_);
    }

    std::uint32_t frames() const { return frames_; }

  private:
    std::int64_t clockOffsetNs_;
    std::int64_t startNs_ = 0;
    std::int64_t spanNs_ = 1'000'000;
    std::uint32_t frames_ = 0;
};

} // namespace tarnwick
