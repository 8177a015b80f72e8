#include "scheduling/channel_state_backlog.h"

#include "midi/midi_output.h"

namespace tarnwick {

namespace {

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;

} // namespace

const std::array<int, ChannelStateBacklog::kSlots> ChannelStateBacklog::kFlushOrder = [] {
    std::array<int, kSlots> order{};
    std::size_t next = 0;
    for (int controller = 120; controller < 128; ++controller) {
        order[next++] = controller;
    }
    order[next++] = kProgramSlot;
    for (int controller = 0; controller < 120; ++controller) {
        order[next++] = controller;
    }
    return order;
}();

void ChannelStateBacklog::keep(std::uint32_t message) {
    const std::uint8_t status = messageStatus(message);
    const std::uint8_t kind = status & 0xF0;
    int slot = 0;
    std::int16_t value = 0;
    if (kind == kControlChange) {
        slot = messageData1(message) & 0x7F;
        value = static_cast<std::int16_t>(messageData2(message) & 0x7F);
    } else if (kind == kProgramChange) {
        slot = kProgramSlot;
        value = static_cast<std::int16_t>(messageData1(message) & 0x7F);
    } else {
        return;
    }
    std::int16_t& kept =
        values_[static_cast<std::size_t>(status & 0x0F)][static_cast<std::size_t>(slot)];
    if (kept == kNone) {
        ++count_;
    }
    kept = value;
}

void ChannelStateBacklog::clear() {
    for (auto& channel : values_) {
        channel.fill(kNone);
    }
    count_ = 0;
}

std::uint32_t ChannelStateBacklog::messageFor(int channel, int slot, std::int16_t value) {
    const auto data = static_cast<std::uint8_t>(value);
    if (slot == kProgramSlot) {
        return packShortMessage(static_cast<std::uint8_t>(kProgramChange | channel), data);
    }
    return packShortMessage(static_cast<std::uint8_t>(kControlChange | channel),
                            static_cast<std::uint8_t>(slot), data);
}

} // namespace tarnwick
