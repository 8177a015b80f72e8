#include "window/watched_output.h"

#include <chrono>

namespace tarnwick {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

} // namespace

WatchedOutput::WatchedOutput(std::unique_ptr<OutputDevice> device, StatusReport report,
                             std::string note, std::shared_ptr<OutputCloser> closer)
    : device_(std::move(device)), report_(std::move(report)), note_(std::move(note)),
      shown_(device_->state()), closer_(std::move(closer)) {
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
    closer_->close(std::move(device_));
}

} // namespace tarnwick
