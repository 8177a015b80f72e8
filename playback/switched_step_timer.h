#pragma once
// The performance's step timer in the window: its own timer while the tempo
// is Internal, or, while it follows another program's timeline, a timer that
// never ticks and only says whether the music plays (the follower plays the
// steps).

#include "playback/manual_step_timer.h"
#include "playback/step_timer.h"

namespace tarnwick {

class SwitchedStepTimer final : public StepTimer {
  public:
    explicit SwitchedStepTimer(StepTimer& own) : own_(own) {}

    // Stops whichever runs, then takes the other for the next start.
    void follow(bool on) {
        stop();
        following_ = on;
    }
    bool following() const { return following_; }

    void start(int periodMs) override {
        following_ ? passive_.start(periodMs) : own_.start(periodMs);
    }
    void stop() override {
        own_.stop();
        passive_.stop();
    }
    bool isRunning() const override { return following_ ? passive_.isRunning() : own_.isRunning(); }
    int periodMs() const override { return following_ ? passive_.periodMs() : own_.periodMs(); }

  private:
    StepTimer& own_;
    ManualStepTimer passive_;
    bool following_ = false;
};

} // namespace tarnwick
