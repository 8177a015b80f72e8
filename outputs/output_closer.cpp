#include "outputs/output_closer.h"

namespace tarnwick {

OutputCloser::OutputCloser() : worker_([this](std::stop_token stop) { run(stop); }) {}

OutputCloser::~OutputCloser() {
    worker_.request_stop();
    worker_.join();
}

void OutputCloser::close(std::unique_ptr<OutputDevice> output) {
    if (output == nullptr) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(output));
    }
    wake_.notify_one();
}

// The closer's thread: closes each output in the order handed over, outside
// the lock, and once asked to stop, closes what is left before it ends.
void OutputCloser::run(std::stop_token stop) {
    while (true) {
        std::unique_ptr<OutputDevice> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, stop, [this] { return !waiting_.empty(); });
            if (waiting_.empty()) {
                return; // asked to stop with nothing left
            }
            next = std::move(waiting_.front());
            waiting_.pop_front();
        }
        next.reset();
    }
}

} // namespace tarnwick
