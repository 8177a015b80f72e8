#include "playback/qt_step_timer.h"

#include <algorithm>
#include <utility>

namespace tarnwick {

QtStepTimer::QtStepTimer(TickHandler onTick) : onTick_(std::move(onTick)) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { onTick_(grid_.tick(SteadyClock::now())); });
}

void QtStepTimer::start(int periodMs) {
    const int period = std::max(periodMs, kMinimumPeriodMs);
    grid_.start(SteadyClock::now(), std::chrono::milliseconds(period));
    timer_.start(period);
}

void QtStepTimer::stop() {
    timer_.stop();
}

} // namespace tarnwick
