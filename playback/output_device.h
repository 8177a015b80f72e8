#pragma once
// A MIDI output as the application holds it: messages go out through the
// MidiOutput interface; the rest tells whether, and through what, it sounds.

#include <chrono>
#include <string>

#include "midi/midi_output.h"

namespace tarnwick {

class OutputDevice : public MidiOutput {
  public:
    // One line for the window's status line (or standard error on the command
    // line): what the output plays through, or why nothing is heard. The
    // built-in synthesiser changes it once, when it has finished opening in
    // the background. Safe to call from any thread.
    virtual std::string status() const = 0;

    // True when every message is dropped: the output "none", or one that could
    // not be opened. An output that is still opening is not silent.
    virtual bool isSilent() const = 0;

    // Waits at most `timeout` for the output to finish opening; true when it
    // has. Only the built-in synthesiser opens in the background.
    virtual bool waitUntilOpen(std::chrono::milliseconds /*timeout*/) { return true; }
};

} // namespace tarnwick
