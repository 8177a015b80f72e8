#pragma once
// An output that passes every message on to another output and lets a
// listener see it too, so a view can follow what the performance sends.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "midi/midi_output.h"

namespace tarnwick {

class ListenedOutput final : public MidiOutput {
  public:
    using Listener = std::function<void(std::uint32_t)>;

    ListenedOutput(std::unique_ptr<MidiOutput> inner, Listener listener)
        : inner_(std::move(inner)), listener_(std::move(listener)) {}

    void send(std::uint32_t message) override {
        inner_->send(message);
        listener_(message);
    }
    void setMessageTime(SteadyClock::time_point time) override { inner_->setMessageTime(time); }

  private:
    std::unique_ptr<MidiOutput> inner_;
    Listener listener_;
};

} // namespace tarnwick
