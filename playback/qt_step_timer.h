#pragma once
// The step timer of the application: a QTimer on the user-interface thread.
// Qt::PreciseTimer keeps the ticks on a millisecond grid (a coarse timer
// drifts several milliseconds per tick). Each tick is handed its ideal time
// on that grid, so the output can place the tick's messages on the beat
// however late the event loop ran it.

#include <functional>

#include <QTimer>

#include "midi/midi_output.h"
#include "playback/step_timer.h"
#include "playback/tick_grid.h"

namespace tarnwick {

class QtStepTimer final : public StepTimer {
  public:
    using TickHandler = std::function<void(SteadyClock::time_point idealTime)>;

    // Periods below this are raised to it, as desktop timers do.
    static constexpr int kMinimumPeriodMs = 10;

    explicit QtStepTimer(TickHandler onTick);

    void start(int periodMs) override;
    void stop() override;

    bool isRunning() const override { return timer_.isActive(); }
    int periodMs() const override { return timer_.interval(); }

  private:
    QTimer timer_;
    TickGrid grid_;
    TickHandler onTick_;
};

} // namespace tarnwick
