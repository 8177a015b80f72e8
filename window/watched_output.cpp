#include "window/watched_output.h"

#include <chrono>

#include "outputs/output_factory.h"

namespace tarnwick {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

} // namespace

WatchedOutput::WatchedOutput(std::unique_ptr<OutputDevice> device, StatusReport report)
    : device_(std::move(device)), report_(std::move(report)), shown_(device_->status()) {
    report_(shown_);
    poll_.setInterval(kPollInterval);
    QObject::connect(&poll_, &QTimer::timeout, [this] {
        if (std::string status = device_->status(); status != shown_) {
            shown_ = std::move(status);
            report_(shown_);
        }
    });
    poll_.start();
}

WatchedOutput::~WatchedOutput() {
    poll_.stop();
    closeMidiOutput(device_);
}

} // namespace tarnwick
