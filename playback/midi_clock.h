#pragma once
// MIDI clock for a drum machine or sequencer that follows the performance:
// Start right after Play's set-up, 24 pulses per quarter note and Stop right
// after Stop's messages. A quarter note is eight steps, as in the exported MIDI
// file, so a step has three pulses, evenly spaced, the first on the step. The
// two pulses between steps are sent with the step, each with a message time of
// its own, so an output that schedules places them evenly instead of sending
// the three at once.
//
// The clock goes only to an output that takes it (a port, not a synthesiser),
// and only while it is switched on. An output that meets a performance already
// running (the clock switched on, or another output chosen while playing) is
// brought in with Song Position and Continue at the next step that begins a
// sixteenth note, so that its bars fall where the piece's do.

#include <chrono>
#include <cstdint>

#include "midi/midi_output.h"

namespace tarnwick {

struct SongSettings;
struct Score;
struct PlayState;
class RandomGenerator;

class MidiClock {
  public:
    static constexpr int kPulsesPerStep = 3;

    bool enabled() const { return enabled_; }

    // Switches the clock on or off. While playing, off sends Stop at once, and
    // on brings the output in at the next step that can join.
    void setEnabled(bool on, MidiOutput& output);

    // After Play's set-up: Start. `period` is the step timer's.
    void start(MidiOutput& output, std::chrono::nanoseconds period);

    // Around the messages of one tick, whose message time is `time` and which
    // plays step `step` (0 to 1023): the step's first pulse goes before its
    // notes, the other two after them. The output's message time is `time`
    // again afterwards.
    void beginStep(MidiOutput& output, int step);
    void endStep(MidiOutput& output, SteadyClock::time_point time);

    // After Stop's messages: Stop.
    void stop(MidiOutput& output);

    // The output is about to be replaced while playing: it gets Stop, and the
    // next output joins at the next step that can.
    void leave(MidiOutput& output);

  private:
    bool sendsTo(const MidiOutput& output) const { return enabled_ && output.takesClock(); }

    bool enabled_ = false;
    bool running_ = false; // from a start to the next stop
    bool joined_ = false;  // the output had Start, or Song Position and Continue
    bool pulsing_ = false; // this step's first pulse went out
    std::chrono::nanoseconds period_{0};
};

// One tick of the performance with its pulses: the messages belong to `time`
// (the tick's ideal time), the step plays (playStep), the clock pulses around
// it.
void playClockedStep(PlayState& state, const Score& score, const SongSettings& settings,
                     RandomGenerator& random, MidiClock& clock, MidiOutput& output,
                     SteadyClock::time_point time);

} // namespace tarnwick
