#include <chrono>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "audio/period_stamps.h"

namespace tarnwick {
namespace {

constexpr double kRate = 44100.0;
constexpr std::uint32_t kFrames = 512;

SteadyClock::time_point period(double count) {
    return SteadyClock::time_point(
        std::chrono::nanoseconds(std::llround(1e9 + count * kFrames / kRate * 1e9)));
}

TEST(PeriodStamps, TakesAMovedLineOnlyWhenTheNextReportConfirmsIt) {
    // Reports in graph periods, one per call; what is stamped, and where the
    // line starts again.
    const struct {
        const char* name;
        std::vector<double> reports, stamps;
        int restartAt;
    } cases[] = {
        {"steady, with nanoseconds of scatter", {0, 1.0001, 2, 2.9999}, {0, 1.0001, 2, 2.9999}, -1},
        // The graph ran a cycle before the call: it reads the next one's
        // report, and the call after it the same again.
        {"one report a cycle late", {0, 1, 3, 3, 4}, {0, 1, 2, 3, 4}, -1},
        // The graph played a cycle without the stream: from then on every
        // frame is heard a period later.
        {"a cycle missed", {0, 1, 3, 4, 5}, {0, 1, 2, 4, 5}, 3},
    };
    for (const auto& c : cases) {
        PeriodStamps stamps(kRate);
        for (std::size_t i = 0; i < c.reports.size(); ++i) {
            const PeriodStamp stamp = stamps.next(period(c.reports[i]), kFrames);
            EXPECT_NEAR(std::chrono::duration<double>(stamp.heardAt - period(c.stamps[i])).count(),
                        0.0, 1e-6)
                << c.name << ", call " << i;
            EXPECT_EQ(stamp.restarted, static_cast<int>(i) == c.restartAt)
                << c.name << ", call " << i;
        }
    }
    // After a reset nothing is expected: the first report is taken as it is.
    PeriodStamps stamps(kRate);
    stamps.next(period(0), kFrames);
    stamps.reset();
    EXPECT_EQ(stamps.next(period(7), kFrames).heardAt, period(7));
}

} // namespace
} // namespace tarnwick
