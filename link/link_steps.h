#pragma once
// The step source that follows an Ableton Link session, for the window and
// --play: every few milliseconds, on the user-interface thread, it reads the
// session and lets a TimelineFollower play the performance along its beats,
// preparing each step a little before its moment. The session playing plays
// from its bar 1, its stopping stops as "Stop" does, and the steps take the
// session's tempo, however short that makes them.
//
// The other peers leaving while the session plays stops the performance as
// "Stop" does (and this peer's session with it); the status line says so.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include <QTimer>

#include "link/link_session.h"
#include "playback/timeline_follower.h"

namespace tarnwick {

class Performance;

class LinkSteps {
  public:
    using Report = std::function<void(std::string)>;

    // As for the JACK transport: more than the poll's period and the
    // thread's usual delays together.
    static constexpr std::chrono::milliseconds kPrepareAhead{40};
    static constexpr std::chrono::milliseconds kPoll{5};

    // Joins the session, proposing `beatsPerMinute`.
    LinkSteps(Performance& performance, int stepsPerBeat, double beatsPerMinute, Report report);
    ~LinkSteps();
    LinkSteps(const LinkSteps&) = delete;
    LinkSteps& operator=(const LinkSteps&) = delete;

    void setStepsPerBeat(int stepsPerBeat) { follower_.setStepsPerBeat(stepsPerBeat); }

    // The window's Play: starts the session playing, or, when it plays
    // already, plays anew (composed from the settings) from where it is. Its
    // Stop stops the session.
    void play();
    void stop() { session_.stop(); }

  private:
    void poll();

    LinkSession session_;
    TimelineFollower follower_;
    Report report_;
    std::string shown_;
    std::size_t peers_ = 0;
    QTimer timer_;
};

} // namespace tarnwick
