#include "playback/midi_clock.h"

#include "composition/score.h"
#include "midi/clock_messages.h"
#include "playback/play_state.h"
#include "playback/step_player.h"

namespace tarnwick {

void MidiClock::setEnabled(bool on, MidiOutput& output) {
    if (on == enabled_) {
        return;
    }
    if (!on) {
        leave(output);
    }
    enabled_ = on;
    joined_ = false;
}

void MidiClock::start(MidiOutput& output, std::chrono::nanoseconds period) {
    running_ = true;
    period_ = period;
    joined_ = sendsTo(output);
    pulsing_ = false;
    if (joined_) {
        output.send(packShortMessage(midi::kClockStart, 0));
    }
}

void MidiClock::beginStep(MidiOutput& output, int step) {
    pulsing_ = false;
    if (!running_ || !sendsTo(output)) {
        return;
    }
    if (!joined_) {
        // Song Position counts sixteenth notes, two steps each.
        if (step % 2 != 0) {
            return;
        }
        output.send(midi::songPosition(step / 2));
        output.send(packShortMessage(midi::kClockContinue, 0));
        joined_ = true;
    }
    output.send(packShortMessage(midi::kClockPulse, 0));
    pulsing_ = true;
}

void MidiClock::endStep(MidiOutput& output, SteadyClock::time_point time) {
    if (!pulsing_) {
        return;
    }
    pulsing_ = false;
    for (int pulse = 1; pulse < kPulsesPerStep; ++pulse) {
        output.setMessageTime(time + period_ * pulse / kPulsesPerStep);
        output.send(packShortMessage(midi::kClockPulse, 0));
    }
    output.setMessageTime(time);
}

void MidiClock::stop(MidiOutput& output) {
    leave(output);
    running_ = false;
}

void MidiClock::leave(MidiOutput& output) {
    if (running_ && joined_ && sendsTo(output)) {
        output.send(packShortMessage(midi::kClockStop, 0));
    }
    joined_ = false;
    pulsing_ = false;
}

void playClockedStep(PlayState& state, const Score& score, const SongSettings& settings,
                     RandomGenerator& random, MidiClock& clock, MidiOutput& output,
                     SteadyClock::time_point time) {
    output.setMessageTime(time);
    clock.beginStep(output, state.playPosition < kStepCount ? state.playPosition : 0);
    playStep(state, score, settings, random, output);
    clock.endStep(output, time);
}

} // namespace tarnwick
