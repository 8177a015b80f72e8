#include "playback/beat_position.h"

#include <cmath>

#include "composition/score.h"
#include "playback/play_state.h"

namespace tarnwick {

namespace {

constexpr int kDrumCycle = 8;
// How far before a step's start a position still counts as the step: a
// thousandth of a step, far more than a master's rounding and far less than
// anything heard.
constexpr double kStepTolerance = 1e-3;

} // namespace

std::string_view stepLengthName(int stepsPerBeat) {
    switch (stepsPerBeat) {
    case 4:
        return "1/16";
    case 2:
        return "1/8";
    default:
        return "1/32";
    }
}

std::int64_t stepAtBeat(double beats, int stepsPerBeat) {
    return static_cast<std::int64_t>(std::floor(beats * stepsPerBeat + kStepTolerance));
}

int scoreStep(std::int64_t step) {
    const std::int64_t wrapped = step % kStepCount;
    return static_cast<int>(wrapped < 0 ? wrapped + kStepCount : wrapped);
}

void placeAtStep(PlayState& state, std::int64_t step, std::int32_t beatLength) {
    state.playPosition = scoreStep(step);
    if (step <= 0) {
        // The start: a full beat already counted, so the first tick strikes.
        state.beatCounter = beatLength;
        state.drumSlotCounter = 0;
        return;
    }
    // From the start, hits fall on the ticks 0, beat, 2 * beat, ...; the
    // counter holds the ticks after the last hit, the slot counter the hits
    // made in the current cycle of eight.
    const std::int64_t beat = beatLength < 1 ? 1 : beatLength;
    const std::int64_t sinceHit = step % beat;
    state.beatCounter = static_cast<std::int32_t>(sinceHit == 0 ? beat - 1 : sinceHit - 1);
    const std::int64_t hits = (step + beat - 1) / beat;
    state.drumSlotCounter = static_cast<std::int32_t>((hits - 1) % kDrumCycle + 1);
}

} // namespace tarnwick
