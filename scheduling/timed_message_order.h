#pragma once
// The order in which a MIDI port's timed messages leave. They leave in the
// order they were sent, none before it is due: one due earlier than the
// message before it waits for that one. Clock pulses are the exception: each
// leaves at its own time, so a message sent after a pulse but due before it
// (Stop's, say) does not wait for it; and Start, Continue or Stop drops the
// pulses still waiting, so that no pulse follows a Stop. Used by the one
// thread that hands the messages to the port; never allocates.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "midi/clock_messages.h"
#include "scheduling/message_scheduler.h"

namespace tarnwick {

class TimedMessageOrder {
  public:
    // Takes the messages waiting in `source` (front() and pop(), in the order
    // sent) and calls emit(item) for each that leaves now, in the
    // order they leave; leavesNow(item) tells whether a TimedMessage leaves
    // now. When emit returns false (the port takes no more now), that
    // message and all after it wait for the next call.
    template <typename Source, typename LeavesNow, typename Emit>
    void release(Source& source, LeavesNow&& leavesNow, Emit&& emit) {
        while (true) {
            const TimedMessage* head = source.front();
            if (head != nullptr && midi::isClockPulse(head->message)) {
                keepPulse(*head);
                source.pop();
                continue;
            }
            while (pulseCount_ > 0 && (head == nullptr || pulses_[0].dueNs <= head->dueNs) &&
                   leavesNow(pulses_[0])) {
                if (!emit(pulses_[0])) {
                    return;
                }
                std::shift_left(pulses_.begin(), pulses_.begin() + pulseCount_, 1);
                --pulseCount_;
            }
            if (head == nullptr || !leavesNow(*head)) {
                return;
            }
            if (!emit(*head)) {
                return;
            }
            if (midi::beginsOrEndsClock(head->message)) {
                pulseCount_ = 0;
            }
            source.pop();
        }
    }

    // When the next pulse kept here is due, or limitNs if none is.
    std::int64_t nextPulseDue(std::int64_t limitNs) const {
        return pulseCount_ > 0 ? std::min(pulses_[0].dueNs, limitNs) : limitNs;
    }

    bool holdsPulses() const { return pulseCount_ > 0; }

  private:
    // A step keeps at most two pulses waiting; many more means the output is
    // not being served, and the newest are dropped.
    static constexpr std::ptrdiff_t kMaxPulses = 64;

    void keepPulse(const TimedMessage& pulse) {
        if (pulseCount_ == kMaxPulses) {
            return;
        }
        const auto end = pulses_.begin() + pulseCount_;
        const auto place = std::upper_bound(
            pulses_.begin(), end, pulse.dueNs,
            [](std::int64_t due, const TimedMessage& kept) { return due < kept.dueNs; });
        std::move_backward(place, end, end + 1);
        *place = pulse;
        ++pulseCount_;
    }

    std::array<TimedMessage, static_cast<std::size_t>(kMaxPulses)> pulses_{};
    std::ptrdiff_t pulseCount_ = 0;
};

} // namespace tarnwick
