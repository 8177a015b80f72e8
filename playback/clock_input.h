#pragma once
// MIDI clock received on a port, as the performance follows it: a timeline
// whose "frames" are the clock's pulses (see StampTimeline::ClockPulses), so
// that a TimelineFollower plays along it as along a transport, plus what
// tells a Start from a Continue and why the clock was lost.

#include <cstdint>

#include "playback/tempo_source.h"
#include "playback/timeline_follower.h"

namespace tarnwick {

struct ClockView {
    // Rolling from the clock's Start or Continue until its Stop; `frame` is
    // the pulse to come, `beats` its position (24 pulses a beat), `time` when
    // it is due, `rate` pulses a second and the tempo from their spacing.
    TimelineView timeline;
    std::int64_t run = 0;   // counts the runs begun: Start, Continue, Song Position
    bool fromStart = false; // the last run began with Start
    ClockFault fault = ClockFault::None;
};

class ClockInput {
  public:
    virtual ~ClockInput() = default;
    // What the clock said by the last cycle (any thread).
    virtual ClockView view() const = 0;
};

} // namespace tarnwick
