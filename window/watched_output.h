#pragma once
// The window's MIDI output: the opened output device, whose status line is
// reported at the start and again whenever its state changes: when the device
// finishes opening in the background (the built-in synthesiser loads its sound
// font on a thread of its own), when a port it plays to goes away, and when
// its sound server goes away or comes back. The check runs on the
// user-interface thread every 100 ms, so no thread waits for the device and
// the window stays responsive. The device is closed by an OutputCloser, on a
// thread of its own, so that closing it never holds up the step timer.

#include <memory>
#include <string>

#include <QTimer>

#include "outputs/output_closer.h"
#include "playback/output_device.h"
#include "window/main_dialog.h"

namespace tarnwick {

class WatchedOutput final : public MidiOutput {
  public:
    // `note` goes before every status reported (why this output plays, say).
    WatchedOutput(std::unique_ptr<OutputDevice> device, StatusReport report, std::string note,
                  std::shared_ptr<OutputCloser> closer);
    // Hands the device to the closer; nothing is reported after this.
    ~WatchedOutput() override;
    WatchedOutput(const WatchedOutput&) = delete;
    WatchedOutput& operator=(const WatchedOutput&) = delete;

    void send(std::uint32_t message) override { device_->send(message); }
    void setMessageTime(SteadyClock::time_point time) override { device_->setMessageTime(time); }
    void setMessageStamp(const TransportStamp& stamp, SteadyClock::time_point time) override {
        device_->setMessageStamp(stamp, time);
    }
    void setMessageInstant(SteadyClock::time_point time) override {
        device_->setMessageInstant(time);
    }
    bool takesClock() const override { return device_->takesClock(); }

  private:
    std::unique_ptr<OutputDevice> device_;
    StatusReport report_;
    std::string note_;
    OutputState shown_;
    std::shared_ptr<OutputCloser> closer_;
    QTimer poll_;
};

} // namespace tarnwick
