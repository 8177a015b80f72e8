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

void MidiClock::start(MidiOutput& output, bool fromBeginning) {
    running_ = true;
    joined_ = fromBeginning && sendsTo(output);
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
        // Song Position counts sixteenth notes, six pulses each.
        constexpr int kPulsesPerSixteenth = 6;
        const int pulses = step * pulsesPerStep_;
        if (pulses % kPulsesPerSixteenth != 0) {
            return;
        }
        output.send(midi::songPosition(pulses / kPulsesPerSixteenth));
        output.send(packShortMessage(midi::kClockContinue, 0));
        joined_ = true;
    }
    output.send(packShortMessage(midi::kClockPulse, 0));
    pulsing_ = true;
}

void MidiClock::endStep(MidiOutput& output, const StepMoment& moment) {
    if (!pulsing_) {
        return;
    }
    pulsing_ = false;
    for (int pulse = 1; pulse < pulsesPerStep_; ++pulse) {
        StepMoment at = moment;
        at.time += moment.length * pulse / pulsesPerStep_;
        if (at.stamp) {
            at.stamp->frame += static_cast<std::int64_t>(moment.frames * pulse / pulsesPerStep_);
        }
        setMessageMoment(output, at);
        output.send(packShortMessage(midi::kClockPulse, 0));
    }
    setMessageMoment(output, moment);
}

void MidiClock::relocate(MidiOutput& output) {
    if (running_) {
        leave(output);
    }
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

void setMessageMoment(MidiOutput& output, const StepMoment& moment) {
    if (moment.stamp) {
        output.setMessageStamp(*moment.stamp, moment.time);
    } else if (moment.instant) {
        output.setMessageInstant(moment.time);
    } else {
        output.setMessageTime(moment.time);
    }
}

void playClockedStep(PlayState& state, const Score& score, const SongSettings& settings,
                     RandomGenerator& random, MidiClock& clock, MidiOutput& output,
                     const StepMoment& moment) {
    setMessageMoment(output, moment);
    clock.beginStep(output, state.playPosition < kStepCount ? state.playPosition : 0);
    playStep(state, score, settings, random, output);
    clock.endStep(output, moment);
}

} // namespace tarnwick
