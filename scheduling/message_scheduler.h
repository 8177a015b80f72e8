#pragma once
// Carries MIDI messages from the user-interface thread to the audio callback
// and decides at which render block each one takes effect.
//
// The sender stamps messages with a time on the steady clock (the ideal time
// of the timer tick that sends them); each is due a fixed latency later. The
// audio thread applies a message at the render block boundary nearest its due
// frame, so a tick that ran a few milliseconds late is still heard on the
// beat. Messages are applied strictly in the order they were sent: one due
// earlier than the message before it waits for that one. A message already
// past due is applied at once; a note-on that is long past due (sent while the
// synthesiser was still loading, or across an audio stall) is dropped rather
// than played late. Neither side ever waits for the other.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "midi/midi_output.h"
#include "midi/status_bytes.h"
#include "scheduling/channel_state_backlog.h"
#include "scheduling/sample_clock.h"
#include "scheduling/spsc_queue.h"

namespace tarnwick {

struct TimedMessage {
    std::uint32_t message = 0;
    bool stamped = false;   // belongs to `stamp` on a followed JACK transport
    std::int64_t dueNs = 0; // steady clock, nanoseconds since its epoch
    TransportStamp stamp{};
};

struct SchedulerConfig {
    // How long after its message time a message sounds: longer than a late
    // tick plus one audio period, short enough not to be noticed (10-20 ms).
    std::chrono::nanoseconds latency = std::chrono::milliseconds(20);
    // False: every message is applied at the first block boundary after it
    // arrives, whatever its time (for comparison in the timing benchmark).
    bool scheduled = true;
    // A note-on more than this past due is dropped.
    std::chrono::nanoseconds staleAfter = std::chrono::milliseconds(250);
};

class MessageScheduler {
  public:
    // Frames per render block of the synthesiser: messages take effect at
    // multiples of this.
    static constexpr int kBlockFrames = 64;
    static constexpr std::size_t kCapacity = 16384;

    explicit MessageScheduler(SchedulerConfig config = {}) : config_(config) {}

    const SchedulerConfig& config() const { return config_; }

    // --- the sending thread ---

    // Messages sent from now on belong to `time`. Until the first call, each
    // message belongs to the moment it is sent.
    void setMessageTime(SteadyClock::time_point time) {
        messageTimeNs_ = time.time_since_epoch().count();
        messageTimeSet_ = true;
        stamped_ = false;
        instant_ = false;
    }

    // Messages sent from now on belong to the very moment `time`: due then,
    // with no latency added (a consumer writing at frames puts them at the
    // frame where `time` plays).
    void setMessageInstant(SteadyClock::time_point time) {
        setMessageTime(time);
        instant_ = true;
    }

    // Messages sent from now on belong to `stamp` on a followed JACK
    // transport, at about `time`: a consumer on that server places them at
    // the stamp's frame, with no latency added.
    void setMessageStamp(const TransportStamp& stamp, SteadyClock::time_point time) {
        setMessageTime(time);
        stamp_ = stamp;
        stamped_ = true;
    }

    // Queues one message, due a latency after the current message time.
    // Never blocks. When the queue is full, program and controller changes are
    // kept aside and queued as soon as there is room again; notes are dropped.
    void send(std::uint32_t message);

    // Stops accepting messages: every later send does nothing.
    void close() { accepting_.store(false, std::memory_order_relaxed); }

    // --- the audio thread ---

    // Called at the render block that begins at `blockFrame` (a multiple of
    // kBlockFrames): calls apply(message) for every queued message that is due
    // before the middle of this block, in order, and leaves the rest. Every
    // due time counts `delayNs` later.
    template <typename Apply>
    void applyDue(std::int64_t blockFrame, const SampleClock& clock, std::int64_t delayNs,
                  Apply&& apply) {
        const double middle = static_cast<double>(blockFrame) + kBlockFrames / 2.0;
        while (const TimedMessage* item = queue_.front()) {
            const std::int64_t dueNs = item->dueNs + delayNs;
            if (config_.scheduled && clock.frameAt(dueNs) >= middle) {
                break;
            }
            const bool stale =
                clock.frameAt(dueNs + config_.staleAfter.count()) < static_cast<double>(blockFrame);
            if (!stale || !midi::isNoteStart(item->message)) {
                apply(item->message);
            }
            queue_.pop();
        }
    }

    // Messages waiting for the audio thread (a snapshot).
    std::size_t pending() const { return queue_.size(); }

    // The audio thread: when the oldest waiting message is due, if any.
    std::optional<std::int64_t> nextDueNs() const {
        const TimedMessage* item = queue_.front();
        return item != nullptr ? std::optional(item->dueNs) : std::nullopt;
    }

    // --- or a consumer that places the messages itself (a MIDI port) ---

    // The oldest waiting message, or nullptr; it stays queued until pop().
    const TimedMessage* front() const { return queue_.front(); }
    void pop() { queue_.pop(); }

  private:
    SchedulerConfig config_;
    SpscQueue<TimedMessage, kCapacity> queue_;
    std::atomic<bool> accepting_{true};
    // Sending thread only.
    std::int64_t messageTimeNs_ = 0;
    bool messageTimeSet_ = false;
    TransportStamp stamp_{};
    bool stamped_ = false;
    bool instant_ = false;
    ChannelStateBacklog backlog_;
};

} // namespace tarnwick
