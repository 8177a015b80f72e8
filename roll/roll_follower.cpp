#include "roll/roll_follower.h"

#include "composition/score.h"
#include "midi/channel_messages.h"
#include "playback/play_state.h"
#include "playback/step_player.h"

namespace tarnwick {

void RollFollower::restart(const PlayState& state, std::int32_t beatLength) {
    playhead_.reset();
    heardDrum_.reset();
    hits_.clear();
    beatsAhead_ = drumStepsAhead(state, beatLength);
}

void RollFollower::hear(std::uint32_t message) {
    if (messageStatus(message) == (midi::kNoteOn | midi::kDrumChannel)) {
        heardDrum_ = messageData1(message);
    }
}

RollChange RollFollower::follow(const PlayState& state, std::int32_t beatLength) {
    RollChange change{playhead_, std::nullopt, false};
    const int played = (state.playPosition > 0 && state.playPosition <= kStepCount)
                           ? state.playPosition - 1
                           : kStepCount - 1;
    if (playhead_ && played < *playhead_) {
        hits_.clear(); // a new pass
        change.wholeLane = true;
    }
    playhead_ = played;
    change.newPlayhead = played;
    if (heardDrum_) {
        hits_.push_back({played, *heardDrum_});
        heardDrum_.reset();
    }
    // Once the played step leaves the marks, only a changed beat moves them.
    std::vector<int> ahead = drumStepsAhead(state, beatLength);
    std::erase_if(beatsAhead_, [played](int step) { return step <= played; });
    if (ahead != beatsAhead_) {
        change.wholeLane = true;
    }
    beatsAhead_ = std::move(ahead);
    return change;
}

} // namespace tarnwick
