#pragma once
// Steps against the beat of a timeline that the performance follows (a JACK
// transport, incoming MIDI clock, a Link session, or a plugin host's): how
// many steps make a quarter note, which step of the score a position in beats
// holds, and the player's counters for a step reached other than by playing
// up to it from the start.
//
// The rule: the step at a position is the whole number of steps since the
// timeline's start (the transport's frame 0, the clock's Start, Link's bar 1),
// taken modulo the 1024 steps of the score. So the same bar always plays the
// same part of the canon, however it was reached.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnwick {

struct PlayState;

// Steps in a quarter note: 8 (a step is a thirty-second note, as the exported
// MIDI file counts them), 4 (a sixteenth) or 2 (an eighth).
inline constexpr int kDefaultStepsPerBeat = 8;
inline constexpr int kStepLengths[] = {8, 4, 2};

constexpr bool isStepsPerBeat(int steps) {
    return steps == 8 || steps == 4 || steps == 2;
}

// "1/32", "1/16" or "1/8": the note value of a step.
std::string_view stepLengthName(int stepsPerBeat);

// MIDI clock's 24 pulses a quarter note, as pulses a step: 3, 6 or 12.
inline constexpr int kClockPulsesPerBeat = 24;
constexpr int clockPulsesPerStep(int stepsPerBeat) {
    return kClockPulsesPerBeat / stepsPerBeat;
}

// The tempo in quarter notes a minute of steps `stepMs` long.
constexpr double tempoOfStepMs(double stepMs, int stepsPerBeat) {
    return 60'000.0 / (stepMs * stepsPerBeat);
}

// The step playing at `beats` beats since the timeline's start, counted from
// it without wrapping. A position a hair before a step's start (a master's
// rounding of it) counts as that step.
std::int64_t stepAtBeat(double beats, int stepsPerBeat);

// The score's step for a step counted from the timeline's start: 0 to 1023.
int scoreStep(std::int64_t step);

// Sets the player's position and drum counters as playing from step 0 up to
// `step` (counted from the start, not wrapped) would have left them with the
// beat length as it is now: the drums strike on the same steps and begin
// their cycle of eight on the same hits. lastNote is left as it is.
void placeAtStep(PlayState& state, std::int64_t step, std::int32_t beatLength);

} // namespace tarnwick
