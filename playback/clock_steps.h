#pragma once
// The step source that follows MIDI clock received on a JACK port, for the
// window and --play: every few milliseconds, on the user-interface thread, it
// reads where the clock stands and lets a TimelineFollower play the
// performance along its pulses. Start plays as "Play" does from step 0,
// Continue from the step where the clock stopped, Song Position carries on at
// its step, Stop stops as "Stop" does; each step is prepared a little before
// its pulse and stamped with it, so our JACK MIDI port writes it at the
// pulse's very frame (other outputs at the moment it is due).
//
// The status line tells the tempo of the pulses ("Following MIDI clock:
// 120.0 BPM, rolling"), and, when the clock is lost (its port gone, no pulse
// for two seconds, the JACK server stopped), why the performance stopped.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QTimer>

#include "playback/clock_input.h"
#include "playback/timeline_follower.h"

namespace tarnwick {

class OutputDevice;
class Performance;

class ClockSteps {
  public:
    using Report = std::function<void(std::string)>;

    // How far ahead of its pulse a step is prepared, and how often the clock
    // is looked at: often, since the first pulse may follow Start closely.
    static constexpr std::chrono::milliseconds kPrepareAhead{40};
    static constexpr std::chrono::milliseconds kPoll{2};

    // Receives the clock from `port` on `output`'s own JACK client, or on a
    // client of its own for an output without one (or none given), or from
    // the ALSA sequencer's port of that name where JACK has none; nullptr,
    // with the reason in `failure`, when that cannot be done. Goes before the
    // output does.
    static std::unique_ptr<ClockSteps> open(Performance& performance, OutputDevice* output,
                                            std::string port, int stepsPerBeat, Report report,
                                            ClockFault& failure);
    ~ClockSteps() { timer_.stop(); }
    ClockSteps(const ClockSteps&) = delete;
    ClockSteps& operator=(const ClockSteps&) = delete;

    void setStepsPerBeat(int stepsPerBeat) { follower_.setStepsPerBeat(stepsPerBeat); }

  private:
    ClockSteps(Performance& performance, std::unique_ptr<ClockInput> input, std::string port,
               int stepsPerBeat, Report report);
    void poll();

    std::unique_ptr<ClockInput> input_;
    std::string port_;
    TimelineFollower follower_;
    Report report_;
    std::int64_t run_ = 0;
    std::string shown_;
    QTimer timer_;
};

} // namespace tarnwick
