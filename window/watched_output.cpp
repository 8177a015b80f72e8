#include "window/watched_output.h"

#include <chrono>

#include "outputs/output_factory.h"

namespace tarnwick {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

} // namespace

WatchedOutput::WatchedOutput(std::unique_ptr<OutputDevice> device, StatusReport report,
                             std::string note)
    : device_(std::move(device)), report_(std::move(report)), note_(std::move(note)),
      shown_(device_->state()) {
    report_(note_ + statusLine(shown_));
    poll_.setInterval(kPollInterval);
    QObject::connect(&poll_, &QTimer::timeout, [this] {
        if (OutputState state = device_->state(); state != shown_) {
            shown_ = std::move(state);
            report_(note_ + statusLine(shown_));
        }
    });
    poll_.start();
}

WatchedOutput::~WatchedOutput() {
    poll_.stop();
    closeMidiOutput(device_);
}

} // namespace tarnwick
