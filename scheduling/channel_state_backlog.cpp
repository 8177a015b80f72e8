#include "scheduling/channel_state_backlog.h"

#include "midi/channel_messages.h"
#include "midi/status_bytes.h"

namespace tarnwick {

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
    const std::uint8_t kind = midi::messageKind(message);
    int slot = 0;
    std::int16_t value = 0;
    if (kind == midi::kControlChange) {
        slot = messageData1(message) & midi::kDataMask;
        value = static_cast<std::int16_t>(messageData2(message) & midi::kDataMask);
    } else if (kind == midi::kProgramChange) {
        slot = kProgramSlot;
        value = static_cast<std::int16_t>(messageData1(message) & midi::kDataMask);
    } else {
        return;
    }
    std::int16_t& kept = values_[static_cast<std::size_t>(midi::messageChannel(message))]
                                [static_cast<std::size_t>(slot)];
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
    if (slot == kProgramSlot) {
        return midi::programChange(channel, value);
    }
    return midi::controlChange(channel, static_cast<std::uint8_t>(slot), value);
}

} // namespace tarnwick
