#pragma once
// Which notes sound on the three voice channels, followed from the messages
// as they are sent: a note-on starts a note, a note-off (or a note-on with
// velocity 0) ends it, All Sound Off ends every note of its channel. Held
// notes sound until All Sound Off. The drums are left out: their notes are
// never switched off.

#include <array>
#include <bitset>
#include <cstdint>

#include "midi/channel_messages.h"

namespace tarnwick {

class SoundingNotes {
  public:
    static constexpr int kChannels = 3;

    void observe(std::uint32_t message) {
        const int channel = midi::messageChannel(message);
        const int kind = midi::messageKind(message);
        if (channel >= kChannels) {
            return;
        }
        auto& notes = sounding_[static_cast<std::size_t>(channel)];
        const std::size_t key = messageData1(message) & midi::kDataMask;
        if (midi::isNoteStart(message)) {
            notes.set(key);
        } else if (kind == midi::kNoteOn || kind == midi::kNoteOff) {
            notes.reset(key);
        } else if (kind == midi::kControlChange && messageData1(message) == midi::kAllSoundOff) {
            notes.reset();
        }
    }

    bool sounding(int channel, int key) const {
        return sounding_[static_cast<std::size_t>(channel)].test(static_cast<std::size_t>(key));
    }

    // Sends each voice channel All Sound Off, then a note-off for every note
    // still sounding on it, lowest first (for a receiver that ignores All
    // Sound Off), and forgets them all.
    void silence(MidiOutput& output) {
        for (int channel = 0; channel < kChannels; ++channel) {
            output.send(midi::controlChange(channel, midi::kAllSoundOff, 0));
            auto& notes = sounding_[static_cast<std::size_t>(channel)];
            for (int key = 0; key < 128; ++key) {
                if (notes.test(static_cast<std::size_t>(key))) {
                    output.send(midi::noteOff(channel, key));
                }
            }
            notes.reset();
        }
    }

  private:
    std::array<std::bitset<128>, kChannels> sounding_{};
};

} // namespace tarnwick
