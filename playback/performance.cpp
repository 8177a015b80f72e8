#include "playback/performance.h"

#include "composition/canon_generator.h"
#include "playback/beat_position.h"
#include "playback/step_timer.h"
#include "playback/transport.h"

namespace tarnwick {

namespace {

// Where messages go before the front end has opened its output.
class Nowhere final : public MidiOutput {
  public:
    void send(std::uint32_t /*message*/) override {}
};

} // namespace

Performance::Performance(Piece& piece, StepTimer& timer)
    : piece_(piece), timer_(timer), output_(std::make_unique<Nowhere>()) {}

bool Performance::isPlaying() const {
    return timer_.isRunning();
}

void Performance::play(SteadyClock::time_point now, std::int64_t fromStep) {
    play(StepMoment{.time = now}, fromStep);
}

void Performance::play(const StepMoment& moment, std::int64_t fromStep) {
    tarnwick::setMessageMoment(*output_, moment);
    timer_.stop(); // the player must never see a half-written score
    generateScore(piece_.settings, piece_.score);
    startPlayback(piece_.settings, piece_.score, state_, sender_, timer_);
    startSettings_ = piece_.settings;
    clock_.start(sender_, fromStep == 0);
    nextStep_ = fromStep;
    if (fromStep != 0) {
        placeAtStep(state_, fromStep, piece_.settings.beatLength);
    }
}

void Performance::tick(SteadyClock::time_point idealTime) {
    tick(StepMoment{.time = idealTime, .length = std::chrono::milliseconds(timer_.periodMs())});
}

void Performance::tick(const StepMoment& moment) {
    ++ticksPlayed_;
    ++nextStep_;
    playClockedStep(state_, piece_.score, piece_.settings, piece_.random, clock_, sender_, moment);
}

void Performance::carryOnAt(std::int64_t step) {
    if (step == nextStep_) {
        return;
    }
    placeAtStep(state_, step, piece_.settings.beatLength);
    clock_.relocate(sender_);
    nextStep_ = step;
}

void Performance::stop(SteadyClock::time_point now) {
    stop(StepMoment{.time = now});
}

void Performance::stop(const StepMoment& moment) {
    tarnwick::setMessageMoment(*output_, moment);
    stopPlayback(sender_, timer_);
    clock_.stop(sender_);
}

void Performance::setClockEnabled(bool on, SteadyClock::time_point now) {
    output_->setMessageTime(now);
    clock_.setEnabled(on, sender_);
}

std::unique_ptr<MidiOutput> Performance::switchOutput(std::unique_ptr<MidiOutput> next,
                                                      SteadyClock::time_point now) {
    if (next == nullptr) {
        next = std::make_unique<Nowhere>();
    }
    if (isPlaying()) {
        MidiOutput& left = *output_;
        left.setMessageTime(now);
        sounding_.silence(left);
        clock_.leave(left);
        next->setMessageTime(now);
        setUpVoiceChannels(startSettings_, *next);
    }
    std::swap(output_, next);
    return next;
}

void Performance::Sender::send(std::uint32_t message) {
    owner_.sounding_.observe(message);
    owner_.output_->send(message);
    if (owner_.listener_) {
        owner_.listener_(message);
    }
}

void Performance::Sender::setMessageTime(SteadyClock::time_point time) {
    owner_.output_->setMessageTime(time);
}

void Performance::Sender::setMessageStamp(const TransportStamp& stamp,
                                          SteadyClock::time_point time) {
    owner_.output_->setMessageStamp(stamp, time);
}

void Performance::Sender::setMessageInstant(SteadyClock::time_point time) {
    owner_.output_->setMessageInstant(time);
}

bool Performance::Sender::takesClock() const {
    return owner_.output_->takesClock();
}

} // namespace tarnwick
