#pragma once
// The output "none": every message is dropped, and the status says why.

#include <cstdint>
#include <string>
#include <utility>

#include "playback/output_device.h"

namespace tarnwick {

class SilentOutput final : public OutputDevice {
  public:
    explicit SilentOutput(std::string reason) : reason_(std::move(reason)) {}

    void send(std::uint32_t /*message*/) override {}
    std::string status() const override { return reason_; }
    bool isSilent() const override { return true; }

  private:
    std::string reason_;
};

} // namespace tarnwick
