// Outputs left behind close on the closer's thread, never on the caller's.

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "outputs/output_closer.h"

namespace tarnwick {
namespace {

// Closes only when the test lets it, as a JACK port waits for its last messages.
struct SlowClosingDevice final : OutputDevice {
    SlowClosingDevice(std::shared_future<void> release, std::thread::id& closedOn)
        : release_(std::move(release)), closedOn_(closedOn) {}
    ~SlowClosingDevice() override {
        release_.wait_for(std::chrono::seconds(5)); // a bound, should closing block the caller
        closedOn_ = std::this_thread::get_id();
    }
    void send(std::uint32_t /*message*/) override {}
    OutputState state() const override { return {}; }
    bool isSilent() const override { return false; }

    std::shared_future<void> release_;
    std::thread::id& closedOn_;
};

TEST(OutputCloser, ClosesOnItsOwnThreadAndFinishesEveryCloseBeforeItGoes) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::thread::id closedOn[2];
    {
        OutputCloser closer;
        for (std::thread::id& id : closedOn) {
            closer.close(std::make_unique<SlowClosingDevice>(released, id));
        }
        closer.close(nullptr);
        EXPECT_EQ(closedOn[0], std::thread::id()); // still closing: close() did not wait
        release.set_value();
    }
    EXPECT_NE(closedOn[0], std::thread::id());
    EXPECT_NE(closedOn[0], std::this_thread::get_id());
    EXPECT_EQ(closedOn[1], closedOn[0]);
}

} // namespace
} // namespace tarnwick
