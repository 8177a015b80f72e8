#pragma once
// One running piece, the same behind every front end: "Play" composes the
// score and starts it, each tick of the step source plays one step with the
// clock's pulses around it, "Stop" ends it, and the output can be replaced
// while it plays. The window, --play and the batch commands differ only in
// where their ticks come from and how they show what happens.

#include <cstdint>
#include <functional>
#include <memory>

#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/midi_output.h"
#include "midi/sounding_notes.h"
#include "playback/midi_clock.h"
#include "playback/play_state.h"

namespace tarnwick {

class StepTimer;

// What every front end composes from and exports: the settings record, the
// score of the last Play and the one random generator (randomisers,
// velocities and random drum slots draw from it in turn).
struct Piece {
    RandomGenerator random;
    SongSettings settings;
    Score score;
};

class Performance {
  public:
    // Plays `piece` (owned by the front end, which may change its settings
    // between ticks) on the ticks of `timer`. Until an output is given
    // (switchOutput) every message is dropped.
    Performance(Piece& piece, StepTimer& timer);
    ~Performance() = default;
    Performance(const Performance&) = delete;
    Performance& operator=(const Performance&) = delete;

    // True from a start until the next stop: playing means the timer runs.
    bool isPlaying() const;

    // "Play": composes the score from the settings and plays it from step 0
    // with the set-up messages and the clock's Start, also when already
    // playing. The messages belong to `now`. A followed timeline that starts
    // elsewhere than at its beginning gives the step counted from there
    // (see carryOnAt).
    void play(SteadyClock::time_point now, std::int64_t fromStep = 0);
    void play(const StepMoment& moment, std::int64_t fromStep);

    // One tick of the step source, whose ideal time is `idealTime`; a step
    // lasts the timer's period.
    void tick(SteadyClock::time_point idealTime);
    // One tick of a followed timeline: the step plays at `moment`.
    void tick(const StepMoment& moment);

    // The next tick plays `step`, counted from the timeline's start without
    // wrapping (a followed transport relocated, a Song Position arrived): the
    // score's step there, with the drum counters as playing from the start
    // would have left them (placeAtStep). Nothing is sent now; the notes
    // sounding ring on as through a rest, and velocities and random drum
    // slots go on drawing from the one generator where they are.
    void carryOnAt(std::int64_t step);

    // The step the next tick plays, counted from the start without wrapping.
    std::int64_t nextStep() const { return nextStep_; }

    // "Stop": All Sound Off on the voice channels, then the clock's Stop.
    void stop(SteadyClock::time_point now);
    void stop(const StepMoment& moment);

    // Steps in a quarter note (8, 4 or 2): the clock's pulses a step follow.
    void setStepsPerBeat(int stepsPerBeat) { clock_.setStepsPerBeat(stepsPerBeat); }

    // MIDI clock on or off, also while playing.
    void setClockEnabled(bool on, SteadyClock::time_point now);
    bool clockEnabled() const { return clock_.enabled(); }

    // Puts `next` in place of the output and hands back the one left, for
    // the caller to close. While playing, the output left gets All Sound Off
    // and a note-off for every note still sounding on the voice channels (and
    // the clock's Stop), and `next` gets the set-up of the running
    // performance, all belonging to `now`; the next tick plays there.
    std::unique_ptr<MidiOutput> switchOutput(std::unique_ptr<MidiOutput> next,
                                             SteadyClock::time_point now);

    // Messages sent from now on belong to `time` (a command's own moment),
    // or to `moment` on a followed timeline.
    void setMessageTime(SteadyClock::time_point time) { output_->setMessageTime(time); }
    void setMessageMoment(const StepMoment& moment) {
        tarnwick::setMessageMoment(*output_, moment);
    }

    // Every message sent is shown to `listener` too, after the output has it.
    void listen(std::function<void(std::uint32_t)> listener) { listener_ = std::move(listener); }

    const PlayState& state() const { return state_; }
    // Ticks played since the performance was made.
    const std::int64_t& ticksPlayed() const { return ticksPlayed_; }

  private:
    // The output as the performance sends to it: every message is followed
    // so that an output left behind can be silenced, then passed on.
    class Sender final : public MidiOutput {
      public:
        explicit Sender(Performance& owner) : owner_(owner) {}
        void send(std::uint32_t message) override;
        void setMessageTime(SteadyClock::time_point time) override;
        void setMessageStamp(const TransportStamp& stamp, SteadyClock::time_point time) override;
        void setMessageInstant(SteadyClock::time_point time) override;
        bool takesClock() const override;

      private:
        Performance& owner_;
    };

    Piece& piece_;
    StepTimer& timer_;
    std::unique_ptr<MidiOutput> output_;
    Sender sender_{*this};
    std::function<void(std::uint32_t)> listener_;
    SoundingNotes sounding_;
    PlayState state_;
    MidiClock clock_;
    // The settings the last Play started with: an output chosen while the
    // music plays gets that Play's set-up.
    SongSettings startSettings_;
    std::int64_t ticksPlayed_ = 0;
    std::int64_t nextStep_ = 0;
};

} // namespace tarnwick
