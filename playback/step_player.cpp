#include "playback/step_player.h"

#include <algorithm>

#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/channel_messages.h"
#include "midi/midi_output.h"
#include "playback/play_state.h"

namespace tarnwick {

namespace {

constexpr int kVelocitySpread = 32; // 0..31 added to the base velocity
constexpr int kDrumCycle = 8;       // hits per cycle: slot 0, slot 1, then six random slots

struct LineVoice {
    Line line;
    int channel;
    std::int32_t hold;
    std::int32_t baseVelocity;
};

// Ends the line's previous note (unless it holds) and strikes the new one. A
// rest, or an entry that is no MIDI note, sends nothing and draws nothing, so
// the previous note rings on.
void soundLine(const LineVoice& voice, NoteByte note, PlayState& state, RandomGenerator& random,
               MidiOutput& output) {
    if (!isPlayableNote(note)) {
        return;
    }
    auto& lastNote = state.lastNote[static_cast<std::size_t>(voice.line)];
    if (voice.hold == 0) {
        output.send(midi::noteOff(voice.channel, lastNote));
        lastNote = note;
    }
    const std::int64_t velocity =
        std::int64_t{voice.baseVelocity} + randBelow(random, kVelocitySpread);
    output.send(midi::noteOn(voice.channel, note, velocity));
}

// Counts the tick towards the next drum hit and strikes it when the beat is
// full. The beat counts ticks, not steps, so it runs on across the wrap.
void playDrumBeat(PlayState& state, const Score& score, const SongSettings& settings,
                  RandomGenerator& random, MidiOutput& output) {
    if (!countDrumTick(state.beatCounter, settings.beatLength)) {
        return;
    }
    // Drawn before the slot, and also for a silent slot.
    const std::int64_t velocity =
        std::int64_t{settings.drumVolume} + randBelow(random, kVelocitySpread);
    int slot = state.drumSlotCounter;
    if (slot >= kDrumCycle || slot < 0) {
        slot = 0;
    }
    state.drumSlotCounter = slot + 1;
    if (slot >= 2) {
        slot = randBelow(random, kDrumCycle);
    }
    const NoteByte note = score.drumNotes[static_cast<std::size_t>(slot)];
    if (isPlayableNote(note)) {
        output.send(midi::noteOn(midi::kDrumChannel, note, velocity));
    }
}

} // namespace

bool countDrumTick(std::int32_t& beatCounter, std::int32_t beatLength) {
    const std::int64_t counted = std::int64_t{beatCounter} + 1;
    if (counted < beatLength) {
        beatCounter = static_cast<std::int32_t>(counted);
        return false;
    }
    beatCounter = 0;
    return true;
}

std::vector<int> drumStepsAhead(const PlayState& state, std::int32_t beatLength) {
    std::vector<int> steps;
    if (state.playPosition >= kStepCount) {
        return steps;
    }
    std::int32_t counter = state.beatCounter;
    for (int step = std::max(state.playPosition, 0); step < kStepCount; ++step) {
        if (countDrumTick(counter, beatLength)) {
            steps.push_back(step);
        }
    }
    return steps;
}

void playStep(PlayState& state, const Score& score, const SongSettings& settings,
              RandomGenerator& random, MidiOutput& output) {
    if (state.playPosition >= kStepCount || state.playPosition < 0) {
        state.playPosition = 0;
    }
    const int p = state.playPosition;
    const auto entry = [](int index) { return static_cast<std::size_t>(index); };

    soundLine({Line::Voice1, 0, settings.hold[0], settings.volume[0]}, score.voice1Notes[entry(p)],
              state, random, output);
    if (p % 2 == 0) {
        // The harmony shares voice 2's channel, hold flag and volume, but ends
        // its own last note.
        const LineVoice voice2{Line::Voice2, 1, settings.hold[1], settings.volume[1]};
        soundLine(voice2, score.voice2Notes[entry(p / 2)], state, random, output);
        if (settings.harmonyOffset != 0) {
            soundLine({Line::Harmony, 1, settings.hold[1], settings.volume[1]},
                      score.harmonyNotes[entry(p / 2)], state, random, output);
        }
    }
    if (p % 4 == 0) {
        soundLine({Line::Voice3, 2, settings.hold[2], settings.volume[2]},
                  score.voice3Notes[entry(p / 4)], state, random, output);
    }
    state.playPosition = p + 1;
    playDrumBeat(state, score, settings, random, output);
}

} // namespace tarnwick
