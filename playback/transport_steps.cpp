#include "playback/transport_steps.h"

#include <cmath>

#include "playback/tempo_source.h"

namespace tarnwick {

std::unique_ptr<TransportSteps> TransportSteps::open(Performance& performance, int stepsPerBeat,
                                                     int stepMs, Report report,
                                                     std::string& failure) {
    std::unique_ptr<JackTransport> transport = JackTransport::open(failure);
    if (!transport) {
        return nullptr;
    }
    transport->setTempo(stepMs, stepsPerBeat);
    return std::unique_ptr<TransportSteps>(
        new TransportSteps(performance, stepsPerBeat, std::move(report), std::move(transport)));
}

TransportSteps::TransportSteps(Performance& performance, int stepsPerBeat, Report report,
                               std::unique_ptr<JackTransport> transport)
    : transport_(std::move(transport)), follower_(performance, stepsPerBeat),
      report_(std::move(report)) {
    transport_->setFollowing(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(kPoll);
    poll();
}

TransportSteps::~TransportSteps() {
    timer_.stop();
    transport_->setFollowing(false);
}

void TransportSteps::setTempo(int stepMs, int stepsPerBeat) {
    transport_->setTempo(stepMs, stepsPerBeat);
    follower_.setStepsPerBeat(stepsPerBeat);
}

void TransportSteps::play() {
    if (transport_->view().rolling) {
        follower_.restart();
        poll();
    } else {
        transport_->start();
    }
}

void TransportSteps::poll() {
    const SteadyClock::time_point now = SteadyClock::now();
    if (transport_->serverGone()) {
        timer_.stop();
        follower_.lose(now);
        report_("Stopped: the JACK server has stopped");
        return;
    }
    const TimelineView view = transport_->view();
    const std::int64_t ready = follower_.follow(view, now + kPrepareAhead);
    if (ready >= 0) {
        transport_->readyAt(ready);
    }
    // A tenth of a BPM, as shown.
    const double tempo = std::round(view.beatsPerMinute * 10.0) / 10.0;
    std::string line =
        followingLine(TempoSource::JackTransport, tempo, view.rolling, view.starting);
    if (line != shown_) {
        shown_ = line;
        report_(std::move(line));
    }
}

} // namespace tarnwick
