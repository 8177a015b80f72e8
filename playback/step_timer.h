#pragma once
// The periodic timer whose ticks drive the step player. There is only one: a
// start replaces any running period, a stop is harmless when nothing runs.

namespace tarnwick {

class StepTimer {
  public:
    virtual ~StepTimer() = default;

    // Ticks every periodMs milliseconds from now on; the first tick comes one
    // period after the start.
    virtual void start(int periodMs) = 0;

    // No further ticks.
    virtual void stop() = 0;

    // True from a start until the next stop: the music plays.
    virtual bool isRunning() const = 0;

    // The period of the last start, as the timer runs it (it may raise a
    // period too short for it); 0 before the first start.
    virtual int periodMs() const = 0;
};

} // namespace tarnwick
