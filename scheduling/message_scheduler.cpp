#include "scheduling/message_scheduler.h"

namespace tarnwick {

void MessageScheduler::send(std::uint32_t message) {
    if (!accepting_.load(std::memory_order_relaxed)) {
        return;
    }
    const std::int64_t timeNs =
        messageTimeSet_ ? messageTimeNs_ : SteadyClock::now().time_since_epoch().count();
    const bool delayed = config_.scheduled && !stamped_ && !instant_;
    const std::int64_t dueNs = timeNs + (delayed ? config_.latency.count() : 0);
    const auto push = [&](std::uint32_t queued) {
        return queue_.tryPush(TimedMessage{queued, stamped_, dueNs, stamp_});
    };
    // What was kept aside goes first, so nothing overtakes it.
    backlog_.flush(push);
    if (!backlog_.empty() || !push(message)) {
        backlog_.keep(message);
    }
}

} // namespace tarnwick
