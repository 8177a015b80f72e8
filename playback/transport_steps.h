#pragma once
// The step source that follows the JACK transport, for the window and
// --play: every few milliseconds, on the user-interface thread, it reads what
// our transport client saw in the last JACK cycle and lets a TimelineFollower
// play the performance along it, preparing each step a little before its
// frame. The performance's own timer only says whether it plays (a
// ManualStepTimer, which never ticks).
//
// The status line tells the tempo followed ("Following JACK transport:
// 120.0 BPM, rolling"); when the JACK server stops, the performance stops as
// "Stop" does and the status line says why.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QTimer>

#include "playback/timeline_follower.h"
#include "ports/jack_transport.h"

namespace tarnwick {

class Performance;

class TransportSteps {
  public:
    using Report = std::function<void(std::string)>;

    // How far ahead of its frame a step is prepared: more than the poll's
    // period, a JACK cycle and the thread's usual delays together.
    static constexpr std::chrono::milliseconds kPrepareAhead{40};
    static constexpr std::chrono::milliseconds kPoll{5};

    // Opens our transport client and follows it; nullptr, with the reason
    // in `failure`, when that cannot be done.
    static std::unique_ptr<TransportSteps> open(Performance& performance, int stepsPerBeat,
                                                int stepMs, Report report, std::string& failure);
    ~TransportSteps();
    TransportSteps(const TransportSteps&) = delete;
    TransportSteps& operator=(const TransportSteps&) = delete;

    // The tempo without a timebase master, and the steps in a quarter note.
    void setTempo(int stepMs, int stepsPerBeat);

    // The window's Play: starts the transport, or, when it rolls already,
    // plays anew (composed from the settings) from where it is. Its Stop
    // stops the transport.
    void play();
    void stopTransport() { transport_->stop(); }

  private:
    TransportSteps(Performance& performance, int stepsPerBeat, Report report,
                   std::unique_ptr<JackTransport> transport);
    void poll();

    std::unique_ptr<JackTransport> transport_;
    TimelineFollower follower_;
    Report report_;
    std::string shown_;
    QTimer timer_;
};

} // namespace tarnwick
