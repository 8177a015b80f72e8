// The hand-over of messages to the audio thread: which render block applies
// each one, their order, stale notes, and what survives a full queue.

#include <chrono>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "playback/outputs/channel_state_backlog.h"
#include "playback/outputs/message_scheduler.h"
#include "tests/outputs/midi_messages.h"

namespace tarnwick::testing {
namespace {

using std::chrono::milliseconds;

constexpr double kRate = 44100.0;
constexpr std::int64_t kBlock = MessageScheduler::kBlockFrames;

// A clock on which frame f plays exactly f / 44100 s after `origin`.
struct ExactClock {
    ExactClock() : clock(kRate) { clock.update(originNs, 0); }

    SteadyClock::time_point timeOfFrame(double frame) const {
        return SteadyClock::time_point(
            std::chrono::nanoseconds(originNs + static_cast<std::int64_t>(frame / kRate * 1e9)));
    }

    std::int64_t originNs = 7'000'000'000;
    SampleClock clock;
};

struct Applied {
    std::int64_t block;
    std::uint32_t message;
    friend bool operator==(const Applied&, const Applied&) = default;
};

// Runs the audio side over blocks [0, blocks), recording what is applied.
std::vector<Applied> drain(MessageScheduler& scheduler, const SampleClock& clock, int blocks) {
    std::vector<Applied> applied;
    for (std::int64_t block = 0; block < blocks; ++block) {
        scheduler.applyDue(block * kBlock, clock, [&](std::uint32_t message) {
            applied.push_back({block, message});
        });
    }
    return applied;
}

TEST(MessageScheduler, AppliesAMessageAtTheBoundaryNearestItsDueFrame) {
    ExactClock exact;
    MessageScheduler scheduler(SchedulerConfig{milliseconds(0)});
    // Due 31.5 frames into block 10: rounds down. Due 32.5 frames in: up.
    scheduler.setMessageTime(exact.timeOfFrame(10 * kBlock + 31.5));
    scheduler.send(noteOn(0, 60, 1));
    scheduler.setMessageTime(exact.timeOfFrame(20 * kBlock + 32.5));
    scheduler.send(noteOn(0, 61, 1));
    const std::vector<Applied> expected = {{10, noteOn(0, 60, 1)}, {21, noteOn(0, 61, 1)}};
    EXPECT_EQ(drain(scheduler, exact.clock, 30), expected);
}

TEST(MessageScheduler, AddsTheLatencyToTheMessageTime) {
    ExactClock exact;
    MessageScheduler scheduler(SchedulerConfig{milliseconds(20)});
    scheduler.setMessageTime(exact.timeOfFrame(0.0));
    scheduler.send(noteOn(0, 60, 1));
    const auto applied = drain(scheduler, exact.clock, 40);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].block, 14); // 882 frames: block 13.78, nearest 14
}

TEST(MessageScheduler, KeepsTheOrderEvenWhenALaterMessageIsDueEarlier) {
    ExactClock exact;
    MessageScheduler scheduler(SchedulerConfig{milliseconds(0)});
    scheduler.setMessageTime(exact.timeOfFrame(10 * kBlock));
    scheduler.send(noteOn(0, 60, 1));
    scheduler.setMessageTime(exact.timeOfFrame(5 * kBlock));
    scheduler.send(noteOff(0, 60));
    const std::vector<Applied> expected = {{10, noteOn(0, 60, 1)}, {10, noteOff(0, 60)}};
    EXPECT_EQ(drain(scheduler, exact.clock, 20), expected);
}

TEST(MessageScheduler, UntilAMessageTimeIsSetMessagesBelongToTheMomentTheyAreSent) {
    // A sender that never sets a time must not have its notes dropped as
    // stale: they are due a latency after they are sent.
    SampleClock clock(kRate);
    const std::int64_t now = SteadyClock::now().time_since_epoch().count();
    clock.update(now, 0);
    MessageScheduler scheduler(SchedulerConfig{milliseconds(20)});
    scheduler.send(noteOn(0, 60, 1));
    const auto applied = drain(scheduler, clock, 100);
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_GE(applied[0].block, 13);
}

TEST(MessageScheduler, DropsStaleNoteOnsButAppliesEverythingElse) {
    ExactClock exact;
    MessageScheduler scheduler(SchedulerConfig{milliseconds(20)});
    scheduler.setMessageTime(exact.timeOfFrame(-kRate)); // a second ago
    scheduler.send(programChange(0, 19));
    scheduler.send(noteOn(0, 60, 100));
    scheduler.send(noteOn(0, 61, 0)); // velocity 0: a note-off
    scheduler.send(noteOff(0, 62));
    scheduler.setMessageTime(exact.timeOfFrame(-0.1 * kRate)); // late, not stale
    scheduler.send(noteOn(0, 63, 100));
    const std::vector<Applied> expected = {{0, programChange(0, 19)},
                                           {0, noteOn(0, 61, 0)},
                                           {0, noteOff(0, 62)},
                                           {0, noteOn(0, 63, 100)}};
    EXPECT_EQ(drain(scheduler, exact.clock, 1), expected);
}

TEST(MessageScheduler, UnscheduledModeAppliesEverythingAtTheNextBoundary) {
    ExactClock exact;
    MessageScheduler scheduler(SchedulerConfig{milliseconds(20), false});
    scheduler.setMessageTime(exact.timeOfFrame(50 * kBlock));
    scheduler.send(noteOn(0, 60, 1));
    const std::vector<Applied> expected = {{0, noteOn(0, 60, 1)}};
    EXPECT_EQ(drain(scheduler, exact.clock, 1), expected);
}

TEST(MessageScheduler, AClosedSchedulerTakesNothing) {
    ExactClock exact;
    MessageScheduler scheduler;
    scheduler.close();
    scheduler.send(programChange(0, 1));
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST(MessageScheduler, AFullQueueKeepsInstrumentsAndControllersButDropsNotes) {
    ExactClock exact;
    MessageScheduler scheduler(SchedulerConfig{milliseconds(0)});
    scheduler.setMessageTime(exact.timeOfFrame(0.0));
    for (std::size_t i = 0; i < MessageScheduler::kCapacity; ++i) {
        scheduler.send(noteOff(0, 1));
    }
    // Nothing more fits: the set-up of a new "Play" arrives.
    scheduler.send(allSoundOff(2));
    scheduler.send(programChange(2, 40));
    scheduler.send(programChange(2, 41)); // replaces 40
    scheduler.send(controlChange(2, 1, 63));
    scheduler.send(noteOn(2, 60, 100)); // dropped: it cannot be on time
    EXPECT_EQ(scheduler.pending(), MessageScheduler::kCapacity);

    // The audio thread catches up; the next send queues the kept state first.
    drain(scheduler, exact.clock, 1);
    scheduler.send(noteOn(2, 62, 100));
    const std::vector<Applied> expected = {{0, allSoundOff(2)},
                                           {0, programChange(2, 41)},
                                           {0, controlChange(2, 1, 63)},
                                           {0, noteOn(2, 62, 100)}};
    EXPECT_EQ(drain(scheduler, exact.clock, 1), expected);
}

TEST(ChannelStateBacklog, FlushesChannelModeMessagesThenProgramThenControllers) {
    ChannelStateBacklog backlog;
    backlog.keep(controlChange(3, 7, 90));
    backlog.keep(programChange(3, 5));
    backlog.keep(controlChange(3, 121, 0)); // reset all controllers
    backlog.keep(controlChange(0, 65, 1));
    backlog.keep(noteOn(0, 60, 100));
    std::vector<std::uint32_t> flushed;
    int room = 2;
    const auto push = [&](std::uint32_t message) {
        if (room == 0) {
            return false;
        }
        --room;
        flushed.push_back(message);
        return true;
    };
    backlog.flush(push);
    EXPECT_FALSE(backlog.empty());
    room = 10;
    backlog.flush(push);
    EXPECT_TRUE(backlog.empty());
    const std::vector<std::uint32_t> expected = {controlChange(0, 65, 1), controlChange(3, 121, 0),
                                                 programChange(3, 5), controlChange(3, 7, 90)};
    EXPECT_EQ(flushed, expected);
}

} // namespace
} // namespace tarnwick::testing
