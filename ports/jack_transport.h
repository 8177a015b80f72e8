#pragma once
// The JACK transport as a timeline to follow, through a JACK client of our
// own ("Tarnwick transport"). Its process callback reads the transport every
// cycle and keeps the position in beats: from the timebase master's tempo
// when there is a master, from the "ms per" tempo when there is none. A
// master reports its position in whole ticks (1,920 a beat is common), so the
// position is carried on from frames and tempo, and the reported one taken
// again only when it departs by more than a tick or a run of rolling begins.
// The client is a slow-start client: a start waits (as JACK lets it, two
// seconds at most) until the performance is prepared for it, so the first
// step is heard at the very frame the transport starts from.
//
// The same client can be the timebase master, reporting the position at the
// "ms per" tempo in 4/4 with 1,920 ticks a beat.
//
// Nothing in the process callback allocates or waits: what it finds goes to
// the user-interface thread through atomics.

#include <atomic>
#include <cstdint>
#include <jack/types.h>
#include <memory>
#include <string>

#include "playback/timeline_follower.h"

namespace tarnwick {

class JackTransport {
  public:
    // Opens the client; nullptr, with the reason in `failure`, when no
    // server runs or it will not take the client.
    static std::unique_ptr<JackTransport> open(std::string& failure);
    ~JackTransport();
    JackTransport(const JackTransport&) = delete;
    JackTransport& operator=(const JackTransport&) = delete;

    // The transport at the start of the last cycle (any thread).
    TimelineView view() const;
    // Whether a timebase master other than this client gives the tempo.
    bool followsMaster() const { return followsMaster_.load(std::memory_order_relaxed); }
    // The server has stopped: the view stays as it was.
    bool serverGone() const { return serverGone_.load(std::memory_order_relaxed); }

    // The tempo without a master: steps `stepMs` long, `stepsPerBeat` a
    // quarter note.
    void setTempo(int stepMs, int stepsPerBeat);

    // The performance is prepared for a start at `frame` (see
    // TimelineFollower::follow); while following, a start waits for this.
    void readyAt(std::int64_t frame) { readyFrame_.store(frame, std::memory_order_relaxed); }
    void setFollowing(bool on) { following_.store(on, std::memory_order_relaxed); }

    // Starts and stops the transport (the window's Play and Stop).
    void start();
    void stop();

    // Becomes the timebase master, or gives it up; false when another
    // client holds it.
    bool setTimebaseMaster(bool on);

  private:
    JackTransport() = default;
    static int process(jack_nframes_t frames, void* self);
    static int sync(jack_transport_state_t state, jack_position_t* position, void* self);
    static void timebase(jack_transport_state_t state, jack_nframes_t frames,
                         jack_position_t* position, int newPosition, void* self);
    static void serverStopped(void* self);
    void readCycle(jack_nframes_t frames);

    jack_client_t* client_ = nullptr;
    std::int64_t clockOffsetNs_ = 0;
    // Published by the process callback: a sequence count (odd while
    // writing) and the view's fields.
    std::atomic<std::uint64_t> sequence_{0};
    std::atomic<bool> rolling_{false};
    std::atomic<bool> starting_{false};
    std::atomic<std::int64_t> frame_{0};
    std::atomic<std::int64_t> runStart_{0};
    std::atomic<std::int64_t> timeNs_{0};
    std::atomic<double> rate_{48'000.0};
    std::atomic<double> beats_{0.0};
    std::atomic<double> beatsPerMinute_{120.0};
    std::atomic<bool> followsMaster_{false};
    std::atomic<bool> serverGone_{false};
    // Set by the user-interface thread.
    std::atomic<double> ownTempo_{tempoAt(175, 8)};
    std::atomic<std::int64_t> readyFrame_{-1};
    std::atomic<bool> following_{false};
    std::atomic<bool> master_{false};
    // The process callback's own.
    bool wasRolling_ = false;
    std::int64_t nextFrame_ = -1;
    std::int64_t run_ = -1;
    bool anchored_ = false;
    std::int64_t anchorFrame_ = 0;
    double anchorBeats_ = 0.0;
    double anchorTempo_ = 120.0;

    static constexpr double tempoAt(int stepMs, int stepsPerBeat) {
        return 60'000.0 / (static_cast<double>(stepMs) * stepsPerBeat);
    }
};

} // namespace tarnwick
