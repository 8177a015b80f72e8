#include "link/link_steps.h"

#include <cmath>

#include "playback/performance.h"
#include "playback/tempo_source.h"

namespace tarnwick {

namespace {

std::string lineOf(const TimelineView& view) {
    // A tenth of a BPM, as shown.
    const double tempo = std::round(view.beatsPerMinute * 10.0) / 10.0;
    return followingLine(TempoSource::AbletonLink, tempo, view.rolling, view.starting);
}

} // namespace

LinkSteps::LinkSteps(Performance& performance, int stepsPerBeat, double beatsPerMinute,
                     Report report)
    : session_(beatsPerMinute), follower_(performance, stepsPerBeat), report_(std::move(report)) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(kPoll);
    poll();
}

LinkSteps::~LinkSteps() {
    timer_.stop();
}

void LinkSteps::play() {
    if (session_.view().rolling) {
        follower_.restart();
        poll();
    } else {
        session_.start();
    }
}

void LinkSteps::poll() {
    const SteadyClock::time_point now = SteadyClock::now();
    TimelineView view = session_.view();
    const std::size_t peers = session_.peers();
    if (peers == 0 && peers_ > 0 && (view.rolling || view.starting)) {
        // Alone now: stop as "Stop" does, and say why until something changes.
        peers_ = 0;
        follower_.lose(now);
        session_.stop();
        view.rolling = view.starting = false;
        shown_ = lineOf(view);
        report_(std::string(kLinkPeersLeft));
        return;
    }
    peers_ = peers;
    follower_.follow(view, now + kPrepareAhead);
    if (std::string line = lineOf(view); line != shown_) {
        shown_ = line;
        report_(std::move(line));
    }
}

} // namespace tarnwick
