#pragma once
// The output "none", and what stands for an output that could not be
// opened: every message is dropped, and the state says why.

#include <cstdint>
#include <utility>

#include "playback/output_device.h"

namespace tarnwick {

class SilentOutput final : public OutputDevice {
  public:
    explicit SilentOutput(OutputState state) : state_(std::move(state)) {}

    void send(std::uint32_t /*message*/) override {}
    OutputState state() const override { return state_; }
    bool isSilent() const override { return true; }

  private:
    OutputState state_;
};

} // namespace tarnwick
