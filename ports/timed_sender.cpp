#include "ports/timed_sender.h"

#include <algorithm>

namespace tarnwick {

namespace {

std::int64_t nowNs() {
    return SteadyClock::now().time_since_epoch().count();
}

} // namespace

TimedSender::TimedSender(SchedulerConfig config, Deliver deliver, Check check)
    : scheduler_(config), deliver_(std::move(deliver)), check_(std::move(check)),
      thread_([this] { run(); }) {}

TimedSender::~TimedSender() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void TimedSender::send(std::uint32_t message) {
    scheduler_.send(message);
    {
        const std::lock_guard lock(mutex_);
        ++sent_;
    }
    wake_.notify_one();
}

void TimedSender::run() {
    const auto deliver = [this](const TimedMessage& item) {
        deliver_(item.message);
        return true;
    };
    const std::int64_t checkEveryNs = std::chrono::nanoseconds(kCheckEvery).count();
    std::int64_t nextCheckNs = nowNs() + checkEveryNs;
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    while (!closing_) {
        lock.unlock();
        const std::int64_t now = nowNs();
        order_.release(
            scheduler_, [now](const TimedMessage& item) { return item.dueNs <= now; }, deliver);
        if (now >= nextCheckNs) {
            if (check_) {
                check_();
            }
            nextCheckNs = now + checkEveryNs;
        }
        const TimedMessage* head = scheduler_.front();
        const std::int64_t wakeNs =
            order_.nextPulseDue(head != nullptr ? std::min(head->dueNs, nextCheckNs) : nextCheckNs);
        lock.lock();
        if (sent_ == seen && !closing_) {
            wake_.wait_until(lock, SteadyClock::time_point(SteadyClock::duration(wakeNs)));
        }
        seen = sent_;
    }
    lock.unlock();
    order_.release(
        scheduler_, [](const TimedMessage& /*item*/) { return true; },
        [this](const TimedMessage& item) {
            if (!midi::isClockPulse(item.message)) {
                deliver_(item.message);
            }
            return true;
        });
}

} // namespace tarnwick
