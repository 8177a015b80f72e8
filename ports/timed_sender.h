#pragma once
// Hands timed messages to a MIDI port that sends whatever it is given at once
// (RtMidi's), from a thread of its own: each message a fixed latency after
// its message time, in the order of TimedMessageOrder. So the clock's pulses
// come evenly spaced and a late timer tick is not heard late, as with the
// built-in synthesiser. The thread sleeps until the next message is due or a
// new one arrives.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "scheduling/message_scheduler.h"
#include "scheduling/timed_message_order.h"

namespace tarnwick {

class TimedSender {
  public:
    // Runs on the thread: hands one message to the port.
    using Deliver = std::function<void(std::uint32_t message)>;
    // Runs on the thread about once a second, for what the port needs to
    // look at now and then (whether it is still there).
    using Check = std::function<void()>;

    TimedSender(SchedulerConfig config, Deliver deliver, Check check = {});
    // Delivers every message still waiting at once (Stop's included), drops
    // the clock pulses still waiting, and ends the thread.
    ~TimedSender();
    TimedSender(const TimedSender&) = delete;
    TimedSender& operator=(const TimedSender&) = delete;

    // --- the sending thread ---
    void setMessageTime(SteadyClock::time_point time) { scheduler_.setMessageTime(time); }
    void send(std::uint32_t message);

  private:
    static constexpr auto kCheckEvery = std::chrono::seconds(1);

    void run();

    MessageScheduler scheduler_;
    TimedMessageOrder order_; // the thread's own
    Deliver deliver_;
    Check check_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t sent_ = 0; // messages sent so far, so that no wake-up is lost
    bool closing_ = false;
    std::thread thread_;
};

} // namespace tarnwick
