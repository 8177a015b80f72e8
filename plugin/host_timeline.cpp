#include "plugin/host_timeline.h"

#include <algorithm>

#include "playback/beat_position.h"
#include "playback/performance.h"

namespace tarnwick::plugin {

namespace {

// At most this many steps in one block: a tempo far beyond anything played
// must not hold up the host's audio thread.
constexpr int kMostStepsInBlock = 64;

// Messages at `offset` frames into the block. The output takes the stamp's
// frame as that offset; the steady-clock time is not used by it.
StepMoment momentAt(std::uint32_t offset, double frames = 0.0) {
    return StepMoment{.time = {}, .stamp = TransportStamp{offset, 0}, .frames = frames};
}

} // namespace

HostTimeline::HostTimeline(Performance& performance, BlockOutput& output)
    : performance_(performance), output_(output) {}

void HostTimeline::setStepsPerBeat(int stepsPerBeat) {
    if (stepsPerBeat == stepsPerBeat_ || !isStepsPerBeat(stepsPerBeat)) {
        return;
    }
    stepsPerBeat_ = stepsPerBeat;
    performance_.setStepsPerBeat(stepsPerBeat);
    if (rolling_ && performance_.isPlaying()) {
        // The next step at the new length: the first that begins from here on.
        const std::int64_t here = blockFrame_ + done_;
        performance_.carryOnAt(stepAtBeat(beatsAt(here), stepsPerBeat_) + 1);
    }
}

void HostTimeline::setStepMs(int stepMs) {
    if (stepMs == stepMs_ || stepMs < 1) {
        return;
    }
    const std::int64_t here = blockFrame_ + done_;
    const double beats = beatsAt(here);
    stepMs_ = stepMs;
    if (!hostTempo_) {
        // The tempo changes from here; the position goes on from where it is.
        view_.frame = here;
        view_.beats = beats;
        view_.beatsPerMinute = freeTempo();
    }
}

void HostTimeline::activate() {
    hostTime_ = false;
    hostTempo_ = false;
    rolling_ = false;
    blockFrame_ = 0;
    view_.frame = 0;
    view_.beats = 0.0;
    view_.beatsPerMinute = freeTempo();
}

void HostTimeline::deactivate() {
    if (rolling_) {
        stop(0);
    }
}

double HostTimeline::freeTempo() const {
    return tempoOfStepMs(stepMs_, stepsPerBeat_);
}

double HostTimeline::beatsAt(std::int64_t frame) const {
    return view_.beats +
           static_cast<double>(frame - view_.frame) / view_.rate * view_.beatsPerMinute / 60.0;
}

void HostTimeline::beginBlock(std::uint32_t frames, bool hostTime) {
    frames_ = frames;
    done_ = 0;
    if (!hostTime_ && !hostTime && !rolling_) {
        // No word from the host: run freely from here at "ms per".
        runStart_ = blockFrame_;
        rolling_ = true;
        start(0);
    }
}

void HostTimeline::report(std::uint32_t offset, const HostPosition& position) {
    offset = std::clamp(offset, done_, frames_);
    playUntil(offset);
    if (!hostTime_ && rolling_) {
        stop(offset); // the free run ends where the host's timeline takes over
        rolling_ = false;
    }
    hostTime_ = true;

    const std::int64_t expected = blockFrame_ + offset;
    const std::int64_t frame = position.hasFrame ? position.frame : expected;
    const bool rolling = position.hasSpeed ? position.speed > 0.0 : rolling_;
    blockFrame_ = frame - offset;

    hostTempo_ = position.hasTempo && position.beatsPerMinute > 0.0;
    view_.frame = frame;
    view_.beatsPerMinute = hostTempo_ ? position.beatsPerMinute : freeTempo();
    // Without the host's beats, the beat grid runs from frame 0 at the tempo.
    view_.beats = hostTempo_ && position.hasBeats
                      ? position.beats
                      : static_cast<double>(frame) / view_.rate * view_.beatsPerMinute / 60.0;

    if (rolling && !rolling_) {
        runStart_ = frame;
        rolling_ = true;
        start(offset);
    } else if (!rolling && rolling_) {
        rolling_ = false;
        stop(offset);
    } else if (rolling && frame != expected) {
        // Relocated: nothing left sounding, then the step at the new position.
        output_.setOffset(offset);
        output_.endSoundingNotes();
        runStart_ = frame;
        if (performance_.isPlaying()) {
            performance_.carryOnAt(stepAtBeat(view_.beats, stepsPerBeat_));
        }
    }
}

void HostTimeline::endBlock() {
    playUntil(frames_);
    if (rolling_) {
        blockFrame_ += frames_;
    }
    done_ = 0; // until the next block begins, "here" is its start
}

void HostTimeline::start(std::uint32_t offset) {
    performance_.play(momentAt(offset), stepAtBeat(beatsAt(blockFrame_ + offset), stepsPerBeat_));
}

void HostTimeline::stop(std::uint32_t offset) {
    output_.setOffset(offset);
    output_.endSoundingNotes();
    performance_.stop(momentAt(offset));
}

void HostTimeline::playUntil(std::uint32_t offset) {
    if (!rolling_ || !performance_.isPlaying() || offset <= done_) {
        done_ = std::max(done_, offset);
        return;
    }
    const std::int64_t begin = blockFrame_ + done_;
    const std::int64_t end = blockFrame_ + offset;
    // More than a step behind (a jump of tempo): the step at the position,
    // not a burst of the ones missed.
    const std::int64_t current = stepAtBeat(beatsAt(begin), stepsPerBeat_);
    if (current > performance_.nextStep()) {
        performance_.carryOnAt(current);
    }
    for (int i = 0; i < kMostStepsInBlock; ++i) {
        const std::int64_t step = performance_.nextStep();
        // A run that starts within a step plays that step at its start.
        const std::int64_t frame =
            std::max({TimelineFollower::frameOfStep(view_, step, stepsPerBeat_), runStart_, begin});
        if (frame >= end) {
            break;
        }
        const std::int64_t next = TimelineFollower::frameOfStep(view_, step + 1, stepsPerBeat_);
        performance_.tick(momentAt(static_cast<std::uint32_t>(frame - blockFrame_),
                                   static_cast<double>(next - frame)));
    }
    done_ = offset;
}

} // namespace tarnwick::plugin
