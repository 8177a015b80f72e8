#include "link/link_session.h"

#include <ableton/Link.hpp>
#include <cstdint>
#include <ctime>

namespace tarnwick {

namespace {

using Micros = std::chrono::microseconds;

std::int64_t steadyNs() {
    return SteadyClock::now().time_since_epoch().count();
}

// Link's clock on Linux is the raw monotonic clock: what to add to its
// nanoseconds to get the steady clock's, from the two read back to back.
std::int64_t linkToSteadyNs() {
    const std::int64_t before = steadyNs();
    timespec raw{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &raw);
    const std::int64_t after = steadyNs();
    return before + (after - before) / 2 - (std::int64_t{raw.tv_sec} * 1'000'000'000 + raw.tv_nsec);
}

} // namespace

struct LinkSession::Peer {
    explicit Peer(double beatsPerMinute) : link(beatsPerMinute) {}

    ableton::Link link;
    bool playing = false;
    Micros startedAt{0}; // the start the beats are counted from
    std::int64_t runStartNs = 0;
};

LinkSession::LinkSession(double beatsPerMinute) : peer_(std::make_unique<Peer>(beatsPerMinute)) {
    peer_->link.enableStartStopSync(true);
    peer_->link.enable(true);
}

LinkSession::~LinkSession() {
    peer_->link.enable(false);
}

TimelineView LinkSession::view() {
    ableton::Link& link = peer_->link;
    const std::int64_t offset = linkToSteadyNs();
    const Micros now = link.clock().micros();
    auto state = link.captureAppSessionState();
    const bool playing = state.isPlaying();
    const auto toSteady = [offset](Micros time) { return time.count() * 1000 + offset; };
    if (playing && (!peer_->playing || state.timeForIsPlaying() != peer_->startedAt)) {
        // A start: beat 0 on the first bar line from it on.
        peer_->startedAt = state.timeForIsPlaying();
        state.requestBeatAtStartPlayingTime(0.0, kQuantum);
        link.commitAppSessionState(state);
        peer_->runStartNs = toSteady(state.timeAtBeat(0.0, kQuantum));
    }
    peer_->playing = playing;

    TimelineView view;
    view.steadyFrames = true;
    view.rate = 1e9;
    view.beatsPerMinute = state.tempo();
    view.runStart = peer_->runStartNs;
    Micros at = now;
    const Micros barOne = state.timeAtBeat(0.0, kQuantum);
    if (playing && now < barOne) {
        view.starting = true; // waiting for bar 1
        at = barOne;
    } else if (!playing && state.timeForIsPlaying() > now) {
        at = state.timeForIsPlaying(); // a stop to come
    }
    view.rolling = playing && !view.starting;
    view.beats = view.starting ? 0.0 : state.beatAtTime(at, kQuantum);
    view.frame = toSteady(at);
    view.time = SteadyClock::time_point(SteadyClock::duration(view.frame));
    return view;
}

std::size_t LinkSession::peers() const {
    return peer_->link.numPeers();
}

void LinkSession::start() {
    ableton::Link& link = peer_->link;
    auto state = link.captureAppSessionState();
    // With other peers Link moves beat 0 to the next bar line; the session
    // starts there, so that every peer starts on the bar.
    state.requestBeatAtTime(0.0, link.clock().micros(), kQuantum);
    state.setIsPlaying(true, state.timeAtBeat(0.0, kQuantum));
    link.commitAppSessionState(state);
}

void LinkSession::stop() {
    ableton::Link& link = peer_->link;
    auto state = link.captureAppSessionState();
    state.setIsPlaying(false, link.clock().micros());
    link.commitAppSessionState(state);
}

} // namespace tarnwick
