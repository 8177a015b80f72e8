#pragma once
// Follows a running performance for the piano roll in the window: the step
// that sounds, the drum hits heard in this pass, and the steps on which the
// beat falls ahead. The drum slots after the second of each cycle are drawn at
// random as they play, so a hit is known only once it is heard.

#include <cstdint>
#include <optional>
#include <vector>

#include "roll/roll_picture.h"

namespace tarnwick {

struct PlayState;

// What one tick changed on the roll.
struct RollChange {
    std::optional<int> oldPlayhead; // the columns to repaint
    std::optional<int> newPlayhead;
    bool wholeLane = false; // a new pass, or the beat moved: repaint the drum lane
};

class RollFollower {
  public:
    // A new performance: nothing played, nothing heard; the beat from `state`.
    void restart(const PlayState& state, std::int32_t beatLength);

    // Every message the performance sends; the roll keeps its drum hits.
    void hear(std::uint32_t message);

    // After a tick: the playhead moves to the step just played (a step before
    // the last one starts a new pass), the drum hit heard in the tick is kept
    // there, and the beat ahead is counted afresh from `state`.
    RollChange follow(const PlayState& state, std::int32_t beatLength);

    std::optional<int> playhead() const { return playhead_; }
    const std::vector<DrumHit>& hits() const { return hits_; }
    const std::vector<int>& beatsAhead() const { return beatsAhead_; }

  private:
    std::optional<int> playhead_;
    std::optional<int> heardDrum_;
    std::vector<DrumHit> hits_;
    std::vector<int> beatsAhead_;
};

} // namespace tarnwick
