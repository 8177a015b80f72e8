#pragma once
// What survives when the message queue to the synthesiser is full: the latest
// program and controller values of each channel, so an instrument chosen while
// the synthesiser could not keep up still takes effect. Notes are dropped: a
// note that cannot be played on time is not played late.

#include <array>
#include <cstdint>

#include "midi/status_bytes.h"

namespace tarnwick {

class ChannelStateBacklog {
  public:
    ChannelStateBacklog() { clear(); }

    // Keeps a program change or control change, replacing any earlier value of
    // the same program or controller on that channel; drops anything else.
    void keep(std::uint32_t message);

    bool empty() const { return count_ == 0; }

    // Hands the kept messages to `push` (a callable taking the packed message
    // and returning false when it cannot take more), channel by channel: the
    // channel-mode controllers 120..127 first (they reset state), then the
    // program, then controllers 0..119. Stops at the first refusal; what was
    // taken is forgotten, the rest is kept for the next flush.
    template <typename Push>
    void flush(Push&& push) {
        for (int channel = 0; channel < kChannels && count_ > 0; ++channel) {
            for (int slot : kFlushOrder) {
                std::int16_t& value =
                    values_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(slot)];
                if (value < 0) {
                    continue;
                }
                if (!push(messageFor(channel, slot, value))) {
                    return;
                }
                value = kNone;
                --count_;
            }
        }
    }

    void clear();

  private:
    static constexpr int kChannels = midi::kChannelCount;
    static constexpr int kProgramSlot = 128; // slots 0..127 are the controllers
    static constexpr int kSlots = 129;
    static constexpr std::int16_t kNone = -1;
    static const std::array<int, kSlots> kFlushOrder;

    static std::uint32_t messageFor(int channel, int slot, std::int16_t value);

    std::array<std::array<std::int16_t, kSlots>, kChannels> values_{};
    int count_ = 0;
};

} // namespace tarnwick
