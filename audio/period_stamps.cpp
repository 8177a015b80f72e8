#include "audio/period_stamps.h"

namespace tarnwick {

PeriodStamp PeriodStamps::next(SteadyClock::time_point reported, std::uint32_t frames) {
    const auto seconds = [this](double count) {
        return std::chrono::duration_cast<SteadyClock::duration>(
            std::chrono::duration<double>(count / sampleRate_));
    };
    PeriodStamp stamp{reported};
    if (expected_) {
        const auto moved = reported - *expected_;
        // Reports scatter by nanoseconds; a cycle missed or read twice moves
        // the line by a whole period.
        if (std::chrono::abs(moved) < seconds(frames / 2.0)) {
            doubted_ = false;
        } else if (!doubted_) {
            doubted_ = true;
            stamp.heardAt = *expected_;
        } else {
            doubted_ = false;
            stamp.restarted = true;
        }
    }
    expected_ = stamp.heardAt + seconds(frames);
    return stamp;
}

} // namespace tarnwick
