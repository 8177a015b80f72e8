#pragma once
// A MIDI output as the application holds it: messages go out through the
// MidiOutput interface; the rest tells whether, and through what, it sounds.

#include <chrono>
#include <memory>
#include <string_view>

#include "midi/midi_output.h"
#include "playback/clock_input.h"
#include "playback/output_state.h"

namespace tarnwick {

class OutputDevice : public MidiOutput {
  public:
    // What the output plays through, or why nothing is heard (statusLine()
    // words it). The built-in synthesiser's changes when it has finished
    // opening in the background and when its sound server goes or comes back;
    // a port's when the port goes away. Safe to call from any thread.
    virtual OutputState state() const = 0;

    // True when every message is dropped: the output "none", or one that could
    // not be opened or has gone (its state is then Silent). An output that is
    // still opening, or whose sound server went away, is not silent.
    virtual bool isSilent() const = 0;

    // Waits at most `timeout` for the output to finish opening; true when it
    // has. Only the built-in synthesiser opens in the background.
    virtual bool waitUntilOpen(std::chrono::milliseconds /*timeout*/) { return true; }

    // Receives MIDI clock from `port` (a JACK MIDI output, "client:port") on
    // an input of the output's own JACK client, so that the messages of a
    // step are written at the very frame of the pulse that begins it. The
    // input must go before the output does. nullptr, with `failure` left
    // None, when the output has no JACK client.
    virtual std::unique_ptr<ClockInput> receiveClock(std::string_view /*port*/,
                                                     ClockFault& /*failure*/) {
        return nullptr;
    }
};

} // namespace tarnwick
