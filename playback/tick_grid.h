#pragma once
// The ideal times of a periodic timer's ticks: the start plus k periods.
// When a tick comes a whole period late or more (a tick was missed entirely),
// the grid starts again at that tick, as the timer itself does, so a late
// tick is never made up by ticks bunched together afterwards.

#include <chrono>

#include "midi/midi_output.h"

namespace tarnwick {

class TickGrid {
  public:
    // The timer starts at `now`; its first tick is due one period later.
    void start(SteadyClock::time_point now, std::chrono::nanoseconds period) {
        period_ = period;
        next_ = now + period;
    }

    // A tick arrived at `now`: returns the time it ideally belongs to.
    SteadyClock::time_point tick(SteadyClock::time_point now) {
        SteadyClock::time_point ideal = next_;
        if (now - ideal >= period_) {
            ideal = now;
        }
        next_ = ideal + period_;
        return ideal;
    }

  private:
    std::chrono::nanoseconds period_{0};
    SteadyClock::time_point next_{};
};

} // namespace tarnwick
