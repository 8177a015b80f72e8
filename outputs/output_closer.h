#pragma once
// Closes outputs on a thread of its own. Closing can take a while (a JACK
// port waits up to a second for its last messages to leave, a synthesiser
// drains its sound server), and the thread that ticks the performance must
// never wait for it: a switch of output while the music plays hands the old
// one here and goes on at once.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "playback/output_device.h"

namespace tarnwick {

class OutputCloser {
  public:
    OutputCloser();
    // Closes every output still waiting, then ends the thread: nothing handed
    // here outlives the closer.
    ~OutputCloser();
    OutputCloser(const OutputCloser&) = delete;
    OutputCloser& operator=(const OutputCloser&) = delete;

    // Returns at once; the output is closed (destroyed) on the closer's
    // thread, after those handed over before it. Harmless when null.
    void close(std::unique_ptr<OutputDevice> output);

  private:
    void run(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::unique_ptr<OutputDevice>> waiting_;
    std::jthread worker_; // last: it starts once the rest is ready
};

} // namespace tarnwick
