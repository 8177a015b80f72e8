// The step timer on Qt's event loop, and the grid of ideal tick times it
// hands to each tick.

#include <chrono>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/qt_step_timer.h"
#include "playback/tick_grid.h"

namespace tarnwick {
namespace {

using std::chrono::milliseconds;

const SteadyClock::time_point kStart{std::chrono::seconds(100)};

TEST(TickGrid, TicksBelongToTheStartPlusWholePeriods) {
    TickGrid grid;
    grid.start(kStart, milliseconds(175));
    // On time, a little late, and almost a whole period late: the grid holds.
    EXPECT_EQ(grid.tick(kStart + milliseconds(175)), kStart + milliseconds(175));
    EXPECT_EQ(grid.tick(kStart + milliseconds(352)), kStart + milliseconds(350));
    EXPECT_EQ(grid.tick(kStart + milliseconds(699)), kStart + milliseconds(525));
    // A timer may fire a hair early; the tick still belongs to its grid time.
    EXPECT_EQ(grid.tick(kStart + milliseconds(699)), kStart + milliseconds(700));
}

TEST(TickGrid, ATickMissedEntirelyStartsTheGridAgainWithoutMakingItUp) {
    TickGrid grid;
    grid.start(kStart, milliseconds(100));
    EXPECT_EQ(grid.tick(kStart + milliseconds(100)), kStart + milliseconds(100));
    // The event loop was blocked: the next tick comes 250 ms late.
    EXPECT_EQ(grid.tick(kStart + milliseconds(450)), kStart + milliseconds(450));
    EXPECT_EQ(grid.tick(kStart + milliseconds(551)), kStart + milliseconds(550));
}

class QtStepTimerTest : public ::testing::Test {
  protected:
    int argc = 1;
    char name[16] = "timer_test";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
};

TEST_F(QtStepTimerTest, TicksOnAGridOfWholePeriodsUntilStopped) {
    std::vector<SteadyClock::time_point> ideal;
    QtStepTimer timer([&](SteadyClock::time_point time) {
        ideal.push_back(time);
        if (ideal.size() == 5) {
            QCoreApplication::exit(0);
        }
    });
    const auto started = SteadyClock::now();
    timer.start(20);
    EXPECT_TRUE(timer.isRunning());
    QCoreApplication::exec();
    timer.stop();
    EXPECT_FALSE(timer.isRunning());
    ASSERT_EQ(ideal.size(), 5u);
    EXPECT_GE(ideal[0], started + milliseconds(20));
    for (std::size_t k = 1; k < ideal.size(); ++k) {
        // Whole periods apart, unless a tick was missed entirely.
        EXPECT_TRUE(ideal[k] - ideal[k - 1] == milliseconds(20) ||
                    ideal[k] - ideal[k - 1] > milliseconds(40));
    }
}

TEST_F(QtStepTimerTest, ABlockedEventLoopIsNotMadeUpWithExtraTicks) {
    int ticks = 0;
    QtStepTimer timer([&](SteadyClock::time_point) {
        ++ticks;
        if (ticks == 1) {
            // A long command on the user-interface thread.
            std::this_thread::sleep_for(milliseconds(200));
        }
    });
    const auto started = SteadyClock::now();
    timer.start(20);
    QTimer::singleShot(400, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const auto elapsed = SteadyClock::now() - started;
    timer.stop();
    // Never more ticks than periods that passed, less the blocked ones.
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, static_cast<int>((elapsed - milliseconds(200)) / milliseconds(20)) + 2);
}

TEST_F(QtStepTimerTest, PeriodsBelowTheMinimumAreRaised) {
    int ticks = 0;
    QtStepTimer timer([&](SteadyClock::time_point) { ++ticks; });
    const auto started = SteadyClock::now();
    timer.start(0); // from a settings file; would otherwise spin
    QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const auto elapsed = SteadyClock::now() - started;
    timer.stop();
    EXPECT_LE(ticks, static_cast<int>(elapsed / milliseconds(QtStepTimer::kMinimumPeriodMs)) + 1);
}

} // namespace
} // namespace tarnwick
