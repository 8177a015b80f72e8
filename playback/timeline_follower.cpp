#include "playback/timeline_follower.h"

#include <algorithm>
#include <cmath>

#include "playback/beat_position.h"
#include "playback/performance.h"

namespace tarnwick {

namespace {

// At most this many steps are prepared at once: a tempo far beyond anything
// played must not hold up the user-interface thread.
constexpr int kMostStepsAtOnce = 64;
// How far before its exact moment a step may begin (see frameOfStep).
constexpr double kFrameTolerance = 0.125;

SteadyClock::time_point timeOfFrame(const TimelineView& view, std::int64_t frame) {
    const std::chrono::duration<double> away(static_cast<double>(frame - view.frame) / view.rate);
    return view.time + std::chrono::duration_cast<SteadyClock::duration>(away);
}

// The moment of `frame` on the view's timeline, in the run begun at runStart.
StepMoment momentOf(const TimelineView& view, std::int64_t frame, std::int64_t runStart) {
    if (view.steadyFrames) {
        return StepMoment{.time = SteadyClock::time_point(SteadyClock::duration(frame)),
                          .instant = true};
    }
    return StepMoment{.time = timeOfFrame(view, frame),
                      .stamp = TransportStamp{frame, runStart, view.timeline}};
}

} // namespace

TimelineFollower::TimelineFollower(Performance& performance, int stepsPerBeat)
    : performance_(performance), stepsPerBeat_(stepsPerBeat) {}

std::int64_t TimelineFollower::frameOfStep(const TimelineView& view, std::int64_t step,
                                           int stepsPerBeat) {
    const double beatsAway = static_cast<double>(step) / stepsPerBeat - view.beats;
    const double exact =
        static_cast<double>(view.frame) + beatsAway * 60.0 * view.rate / view.beatsPerMinute;
    return static_cast<std::int64_t>(std::ceil(exact - kFrameTolerance));
}

std::int64_t TimelineFollower::follow(const TimelineView& view, SteadyClock::time_point until) {
    if (!view.rolling && !view.starting) {
        if (following_) {
            following_ = false;
            performance_.stop(momentOf(view, view.frame, runStart_));
        }
        return -1;
    }
    if (view.beatsPerMinute <= 0.0 || view.rate <= 0.0) {
        return -1;
    }
    if (!following_ || view.runStart != runStart_) {
        begin(view);
    }
    if (!performance_.isPlaying()) {
        return -1; // stopped by hand: quiet until the timeline starts again
    }
    if (view.rolling) {
        // More than a step behind (the thread was held up, the tempo jumped):
        // the step at the position, not a burst of the ones missed.
        const std::int64_t current = stepAtBeat(view.beats, stepsPerBeat_);
        if (current > performance_.nextStep()) {
            performance_.carryOnAt(current);
        }
    }
    const std::chrono::duration<double> ahead = until - view.time;
    prepareUntil(view, view.frame + static_cast<std::int64_t>(ahead.count() * view.rate));
    return view.starting ? view.frame : -1;
}

void TimelineFollower::lose(SteadyClock::time_point now) {
    if (following_) {
        following_ = false;
        performance_.stop(now);
    }
}

void TimelineFollower::begin(const TimelineView& view) {
    const std::int64_t first = stepAtBeat(view.beats, stepsPerBeat_);
    runStart_ = view.runStart;
    if (!following_ || !performance_.isPlaying()) {
        StepMoment start = momentOf(view, view.runStart, runStart_);
        start.time = view.time;
        performance_.play(start, first);
    } else {
        performance_.carryOnAt(first);
    }
    following_ = true;
}

void TimelineFollower::prepareUntil(const TimelineView& view, std::int64_t endFrame) {
    for (int i = 0; i < kMostStepsAtOnce; ++i) {
        const std::int64_t step = performance_.nextStep();
        // A run that starts within a step plays that step at its start.
        const std::int64_t frame = std::max(frameOfStep(view, step, stepsPerBeat_), runStart_);
        if (frame >= endFrame) {
            return;
        }
        const std::int64_t next = frameOfStep(view, step + 1, stepsPerBeat_);
        StepMoment moment = momentOf(view, frame, runStart_);
        moment.length = timeOfFrame(view, next) - moment.time;
        moment.frames = static_cast<double>(next - frame);
        performance_.tick(moment);
    }
}

} // namespace tarnwick
