#pragma once
// An Ableton Link session as a timeline to follow: joining it on the local
// network, its tempo, its beats in bars of four (the quantum) and its
// start/stop, which this peer shares (start/stop sync is on).
//
// Link counts beats from wherever each peer likes and shares only their
// phase in the bar. When the session starts playing, this peer puts its
// beat 0 on the first bar line at or after the start (Link's bar 1 of the
// run), so every peer that does the same counts the same steps from there.
//
// Link keeps time on the raw monotonic clock; the view gives it on the
// steady clock, reading the two back to back at every view.

#include <chrono>
#include <cstddef>
#include <memory>

#include "playback/timeline_follower.h"

namespace tarnwick {

class LinkSession {
  public:
    // Beats in a bar, the quantum the steps' bars are aligned to.
    static constexpr double kQuantum = 4.0;

    // Joins the session, proposing `beatsPerMinute` (a session already
    // going keeps its own tempo).
    explicit LinkSession(double beatsPerMinute);
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // The session now, as a timeline whose frames are the steady clock's
    // nanoseconds (TimelineView::steadyFrames): playing from its bar 1 on,
    // "starting" before it. Not for a real-time thread.
    TimelineView view();

    // The other peers in the session.
    std::size_t peers() const;

    // Starts the session playing from the next bar line (from now when
    // alone), or stops it now.
    void start();
    void stop();

  private:
    struct Peer;
    std::unique_ptr<Peer> peer_;
};

} // namespace tarnwick
