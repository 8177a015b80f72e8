#include "window/watched_output.h"

#include <chrono>

#include "outputs/output_factory.h"

namespace tarnwick {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

} // namespace

WatchedOutput::WatchedOutput(std::unique_ptr<OutputDevice> device, StatusReport report)
    : device_(std::move(device)), report_(std::move(report)) {
    report_(device_->status());
    if (device_->waitUntilOpen(std::chrono::milliseconds{0})) {
        return;
    }
    poll_.setInterval(kPollInterval);
    QObject::connect(&poll_, &QTimer::timeout, [this] {
        if (device_->waitUntilOpen(std::chrono::milliseconds{0})) {
            poll_.stop();
            report_(device_->status());
        }
    });
    poll_.start();
}

WatchedOutput::~WatchedOutput() {
    poll_.stop();
    closeMidiOutput(device_);
}

} // namespace tarnwick
