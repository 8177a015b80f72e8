#pragma once
// The performance's messages as MIDI events in the plugin's output sequence,
// each at its frame within the block, in the order they are sent. Runs on the
// host's audio thread: the forge writes into the host's buffer, nothing is
// allocated; a message that no longer fits the buffer is dropped.

#include <algorithm>
#include <cstdint>
#include <lv2/atom/forge.h>

#include "midi/channel_messages.h"
#include "midi/midi_output.h"
#include "midi/sounding_notes.h"
#include "plugin/host_timeline.h"

namespace tarnwick::plugin {

class AtomMidiOutput final : public MidiOutput, public BlockOutput {
  public:
    explicit AtomMidiOutput(LV2_URID midiEvent) : midiEvent_(midiEvent) {}

    // A block of `frames` frames begins, its events written by `forge`.
    void beginBlock(LV2_Atom_Forge* forge, std::uint32_t frames) {
        forge_ = forge;
        frames_ = frames;
        offset_ = 0;
    }

    void send(std::uint32_t message) override {
        sounding_.observe(message);
        const std::uint8_t bytes[3] = {messageStatus(message), messageData1(message),
                                       messageData2(message)};
        // Program change and channel pressure carry one data byte.
        const std::uint8_t kind = bytes[0] & 0xF0;
        const std::uint32_t size = kind == 0xC0 || kind == 0xD0 ? 2 : 3;
        if (forge_ == nullptr || lv2_atom_forge_frame_time(forge_, offset_) == 0 ||
            lv2_atom_forge_atom(forge_, size, midiEvent_) == 0 ||
            lv2_atom_forge_write(forge_, bytes, size) == 0) {
            return; // the host's buffer is full
        }
    }

    // The stamp's frame is the offset into the block (HostTimeline).
    void setMessageStamp(const TransportStamp& stamp, SteadyClock::time_point /*time*/) override {
        setOffset(static_cast<std::uint32_t>(std::max<std::int64_t>(stamp.frame, 0)));
    }

    // Events may not go back in time within the block, nor beyond its end.
    void setOffset(std::uint32_t offset) override {
        const std::uint32_t last = frames_ == 0 ? 0 : frames_ - 1;
        offset_ = std::clamp(offset, offset_, std::max(offset_, last));
    }

    void endSoundingNotes() override {
        for (int channel = 0; channel < SoundingNotes::kChannels; ++channel) {
            for (int key = 0; key < 128; ++key) {
                if (sounding_.sounding(channel, key)) {
                    send(midi::noteOff(channel, key));
                }
            }
        }
    }

  private:
    LV2_URID midiEvent_;
    LV2_Atom_Forge* forge_ = nullptr;
    std::uint32_t frames_ = 0;
    std::uint32_t offset_ = 0;
    SoundingNotes sounding_;
};

} // namespace tarnwick::plugin
