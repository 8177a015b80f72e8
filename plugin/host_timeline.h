#pragma once
// The performance along a plugin host's timeline, one block of frames at a
// time, on the host's audio thread. Rolling, every step begins at its frame
// on the host's beat grid (the steps since the song's start at the chosen step
// length); starting plays as "Play" does from the step at the position;
// stopping stops as "Stop" does; a relocation carries on at the step of the
// new position. Hosts report the position only when something changes, so
// between reports the position is carried on from the last one. A host that
// reports no position at all gets a performance running freely at "ms per"
// from activation.
//
// Nothing here allocates, locks or waits: every call is made from run().

#include <cstdint>

#include "playback/timeline_follower.h"

namespace tarnwick {

class Performance;
class SoundingNotes;
class MidiOutput;

namespace plugin {

// One position report of the host, as far as it says anything.
struct HostPosition {
    bool hasFrame = false;
    std::int64_t frame = 0; // the transport frame
    bool hasSpeed = false;
    double speed = 0.0; // 0 stopped, 1 rolling
    bool hasBeats = false;
    double beats = 0.0; // quarter notes since the song's start
    bool hasTempo = false;
    double beatsPerMinute = 0.0; // quarter notes a minute
};

// Where the messages of a moment go, and the notes sounding there.
class BlockOutput {
  public:
    virtual ~BlockOutput() = default;
    // Messages from now on belong to `offset` frames into the block.
    virtual void setOffset(std::uint32_t offset) = 0;
    // A note-off for every voice note still sounding (held notes too).
    virtual void endSoundingNotes() = 0;
};

class HostTimeline {
  public:
    HostTimeline(Performance& performance, BlockOutput& output);

    // Frames a second, steps in a quarter note and "ms per", the tempo when
    // the host gives none.
    void setRate(double rate) { view_.rate = rate; }
    void setStepsPerBeat(int stepsPerBeat);
    void setStepMs(int stepMs);

    // Activation: the host's position is not known yet.
    void activate();
    // Deactivation: Stop, at the block's start.
    void deactivate();

    // A block of `frames` frames begins. `hostTime` says whether the host
    // reports positions in it (or has done so before): if it never does, the
    // performance runs freely from the first block.
    void beginBlock(std::uint32_t frames, bool hostTime);
    // The host's report at `offset` frames into the block; the steps before
    // it are played first.
    void report(std::uint32_t offset, const HostPosition& position);
    // Plays the rest of the block; the next block follows on.
    void endBlock();

    bool rolling() const { return rolling_; }

  private:
    void playUntil(std::uint32_t offset);
    double beatsAt(std::int64_t frame) const;
    double freeTempo() const;
    void start(std::uint32_t offset);
    void stop(std::uint32_t offset);

    Performance& performance_;
    BlockOutput& output_;
    int stepsPerBeat_ = 8;
    int stepMs_ = 175;
    bool hostTime_ = false;  // the host has reported a position
    bool hostTempo_ = false; // ...with a tempo and beats
    bool rolling_ = false;
    std::int64_t blockFrame_ = 0; // the transport frame at the block's start
    std::uint32_t frames_ = 0;
    std::uint32_t done_ = 0; // frames of the block played
    std::int64_t runStart_ = 0;
    TimelineView view_; // frame, beats and tempo of the last report
};

} // namespace plugin
} // namespace tarnwick
