#pragma once
// Plays the performance along a timeline that another program keeps (a JACK
// transport; a plugin host's timeline would do the same): the timeline
// starting to roll plays as "Play" does, from the step at its position; its
// stopping stops as "Stop" does; a relocation carries on at the step of the
// new position. The steps are prepared a little ahead of the moment they
// begin, each stamped with the transport frame where it begins, so an output
// on the same JACK server writes it at that very frame; other outputs get the
// moment on the steady clock.

#include <chrono>
#include <cstdint>

#include "midi/midi_output.h"

namespace tarnwick {

class Performance;

// What the followed timeline says at the start of one of its cycles.
struct TimelineView {
    bool rolling = false;
    // Waiting to roll from `frame` once every follower is ready (JACK's
    // slow start): the performance is prepared for it, and readyAt tells.
    bool starting = false;
    std::int64_t frame = 0;         // the transport frame
    std::int64_t runStart = 0;      // where the current run of rolling began
    SteadyClock::time_point time{}; // when `frame` plays
    double rate = 48'000.0;         // frames a second
    double beats = 0.0;             // quarter notes from the start to `frame`
    double beatsPerMinute = 120.0;  // the tempo from `frame` on
    // The frames are the steady clock's nanoseconds (rate 1e9), for a
    // timeline without frames of its own (a Link session): the steps carry
    // their very moment (StepMoment::instant) instead of a transport stamp.
    bool steadyFrames = false;
    // What `frame` counts: the transport's frames, or clock pulses.
    StampTimeline timeline = StampTimeline::TransportFrames;
};

class TimelineFollower {
  public:
    TimelineFollower(Performance& performance, int stepsPerBeat);

    void setStepsPerBeat(int stepsPerBeat) { stepsPerBeat_ = stepsPerBeat; }

    // Follows `view`, and prepares every step that begins before `until`.
    // Returns the start frame the performance is now prepared for while the
    // timeline is starting, or -1.
    std::int64_t follow(const TimelineView& view, SteadyClock::time_point until);

    // The next follow() plays as "Play" does from the position, also in the
    // middle of a run.
    void restart() { following_ = false; }

    // The timeline has gone (its server stopped): Stop, at `now`.
    void lose(SteadyClock::time_point now);

    // The frame where `step` (counted from the start) begins on `view`'s
    // timeline: the first frame no more than an eighth of a frame before the
    // step's exact moment, so a master's rounding of its position cannot push
    // a step a frame late.
    static std::int64_t frameOfStep(const TimelineView& view, std::int64_t step, int stepsPerBeat);

  private:
    void begin(const TimelineView& view);
    void prepareUntil(const TimelineView& view, std::int64_t endFrame);

    Performance& performance_;
    int stepsPerBeat_;
    bool following_ = false;     // a run is being played
    std::int64_t runStart_ = -1; // the run played, or the last one ended
};

} // namespace tarnwick
