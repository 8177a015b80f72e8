#pragma once
// MIDI clock for a drum machine or sequencer that follows the performance:
// Start right after Play's set-up, 24 pulses per quarter note and Stop right
// after Stop's messages. A quarter note is eight steps by default, as in the
// exported MIDI file, so a step has three pulses, evenly spaced, the first on
// the step (six with four steps a quarter note, twelve with two). The pulses
// between steps are sent with the step, each with a message time of its own,
// so an output that schedules places them evenly instead of sending them at
// once.
//
// The clock goes only to an output that takes it (a port, not a synthesiser),
// and only while it is switched on. An output that meets a performance already
// running (the clock switched on, or another output chosen while playing) is
// brought in with Song Position and Continue at the next step that begins a
// sixteenth note, so that its bars fall where the piece's do.

#include <chrono>
#include <cstdint>
#include <optional>

#include "midi/midi_output.h"
#include "playback/beat_position.h"

namespace tarnwick {

struct SongSettings;
struct Score;
struct PlayState;
class RandomGenerator;

// When one step plays: the time its messages belong to and its length, and
// where a followed JACK transport is, its frame and length in frames there.
// An instant moment is the very moment on a timeline followed on the steady
// clock (a Link session), written there with no latency where an output can.
struct StepMoment {
    SteadyClock::time_point time;
    std::chrono::nanoseconds length{0};
    std::optional<TransportStamp> stamp{};
    double frames = 0.0;
    bool instant = false;
};

class MidiClock {
  public:
    bool enabled() const { return enabled_; }

    // Pulses a step, from the steps in a quarter note (8, 4 or 2).
    void setStepsPerBeat(int stepsPerBeat) { pulsesPerStep_ = clockPulsesPerStep(stepsPerBeat); }
    int pulsesPerStep() const { return pulsesPerStep_; }

    // Switches the clock on or off. While playing, off sends Stop at once, and
    // on brings the output in at the next step that can join.
    void setEnabled(bool on, MidiOutput& output);

    // After Play's set-up: Start; or, for a performance that starts elsewhere
    // than at the beginning, Song Position and Continue at the first step
    // that can join.
    void start(MidiOutput& output, bool fromBeginning = true);

    // Around the messages of one tick, at `moment`, which plays step `step`
    // (0 to 1023): the step's first pulse goes before its notes, the others
    // after them. The output's message moment is the step's again afterwards.
    void beginStep(MidiOutput& output, int step);
    void endStep(MidiOutput& output, const StepMoment& moment);

    // The performance carries on elsewhere than the next step (a relocation):
    // a joined output gets Stop, then joins again with Song Position.
    void relocate(MidiOutput& output);

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
    int pulsesPerStep_ = clockPulsesPerStep(kDefaultStepsPerBeat);
};

// Sets the output's message moment: the stamp with its time, or the time.
void setMessageMoment(MidiOutput& output, const StepMoment& moment);

// One tick of the performance with its pulses: the messages belong to
// `moment` (the tick's ideal time), the step plays (playStep), the clock
// pulses around it.
void playClockedStep(PlayState& state, const Score& score, const SongSettings& settings,
                     RandomGenerator& random, MidiClock& clock, MidiOutput& output,
                     const StepMoment& moment);

} // namespace tarnwick
