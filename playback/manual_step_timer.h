#pragma once
// A step timer that never ticks by itself: tests and batch runs call the step
// player directly and look at whether the timer would be running.

#include "playback/step_timer.h"

namespace tarnwick {

class ManualStepTimer : public StepTimer {
  public:
    void start(int periodMs) override {
        running = true;
        period = periodMs;
        ++starts;
    }
    void stop() override {
        running = false;
        ++stops;
    }
    bool isRunning() const override { return running; }
    int periodMs() const override { return period; }

    bool running = false;
    int period = 0;
    int starts = 0;
    int stops = 0;
};

} // namespace tarnwick
