#pragma once
// Choosing another output while the music plays. The window plays through a
// SwitchableOutput, which follows the notes that sound, so that the output
// left behind can be silenced; the performance itself (its counters, random
// draws and messages) goes on as if nothing had happened. Plain C++.

#include <memory>

#include "midi/midi_output.h"
#include "midi/sounding_notes.h"
#include "window/dialog_commands.h"

namespace tarnwick {

class SwitchableOutput final : public MidiOutput {
  public:
    explicit SwitchableOutput(std::unique_ptr<MidiOutput> output) : output_(std::move(output)) {}

    void send(std::uint32_t message) override {
        sounding_.observe(message);
        output_->send(message);
    }
    void setMessageTime(SteadyClock::time_point time) override { output_->setMessageTime(time); }
    bool takesClock() const override { return output_->takesClock(); }

    MidiOutput& current() { return *output_; }
    SoundingNotes& sounding() { return sounding_; }

    // Puts `next` in place of the current output and returns that one.
    std::unique_ptr<MidiOutput> replace(std::unique_ptr<MidiOutput> next) {
        std::swap(output_, next);
        return next;
    }

  private:
    std::unique_ptr<MidiOutput> output_;
    SoundingNotes sounding_;
};

// Moves the performance to `next` and hands back the output it leaves, for
// the caller to close. While the music plays, the output left gets All Sound
// Off and a note-off for every note still sounding on the voice channels (and
// the clock's Stop), and `next` gets the voice channels' set-up of the running
// performance, all belonging to now; the next tick plays there. Idle, nothing
// is sent.
std::unique_ptr<MidiOutput> switchOutput(DialogContext& context, SwitchableOutput& output,
                                         std::unique_ptr<MidiOutput> next);

} // namespace tarnwick
