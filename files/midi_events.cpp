#include "files/midi_events.h"

#include <algorithm>

#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "midi/channel_messages.h"

namespace tarnwick {

namespace {

constexpr int kVelocitySpread = 32; // a random 0..31 is added to every velocity
constexpr int kDrumCycle = 8;       // drum hits per cycle
constexpr int kFixedDrumHits = 2;   // the first two hits of a cycle play slots 0 and 1
std::int64_t drawVelocity(std::int32_t volume, RandomGenerator& random) {
    return std::int64_t{volume} + randBelow(random, kVelocitySpread);
}

// One melodic line: its channel and the note it ends next.
struct LineWriter {
    PieceLine line;
    int channel;
    std::uint8_t rememberedNote = 0;

    void play(std::vector<LineEvent>& events, std::int64_t timeMs, NoteByte note, std::int32_t hold,
              std::int32_t volume, RandomGenerator& random) {
        const std::int64_t velocity = drawVelocity(volume, random);
        if (!isPlayableNote(note)) {
            return;
        }
        if (hold == 0) {
            events.push_back({{timeMs, midi::noteOff(channel, rememberedNote)}, line});
            rememberedNote = note;
        }
        events.push_back({{timeMs, midi::noteOn(channel, note, velocity)}, line});
    }
};

} // namespace

std::vector<MidiEvent> buildMidiEvents(const SongSettings& settings, const Score& score,
                                       RandomGenerator& random) {
    return untagged(buildLineEvents(settings, score, random));
}

std::vector<MidiEvent> untagged(const std::vector<LineEvent>& events) {
    std::vector<MidiEvent> plain;
    plain.reserve(events.size());
    for (const LineEvent& tagged : events) {
        plain.push_back(tagged.event);
    }
    return plain;
}

std::vector<LineEvent> buildLineEvents(const SongSettings& settings, const Score& score,
                                       RandomGenerator& random) {
    std::vector<LineEvent> events;
    events.reserve(kMaxMidiEvents);

    LineWriter voice1{PieceLine::Voice1, 0};
    LineWriter voice2{PieceLine::Voice2, 1};
    LineWriter harmony{PieceLine::Harmony, 1};
    LineWriter voice3{PieceLine::Voice3, 2};
    int drumSlotCounter = 0;
    const std::int32_t beatLength = std::max(settings.beatLength, 1);

    for (int step = 0; step < kStepCount; ++step) {
        const std::int64_t timeMs = std::int64_t{step} * settings.stepMs;
        const auto entry = static_cast<std::size_t>(step);

        voice1.play(events, timeMs, score.voice1Notes[entry], settings.hold[0], settings.volume[0],
                    random);
        if (step % 2 == 0) {
            voice2.play(events, timeMs, score.voice2Notes[entry / 2], settings.hold[1],
                        settings.volume[1], random);
            if (settings.harmonyOffset != 0) {
                harmony.play(events, timeMs, score.harmonyNotes[entry / 2], settings.hold[1],
                             settings.volume[1], random);
            }
        }
        if (step % 4 == 0) {
            voice3.play(events, timeMs, score.voice3Notes[entry / 4], settings.hold[2],
                        settings.volume[2], random);
        }
        if (step % beatLength == 0) {
            const std::int64_t velocity = drawVelocity(settings.drumVolume, random);
            if (drumSlotCounter >= kDrumCycle) {
                drumSlotCounter = 0;
            }
            int slot = drumSlotCounter++;
            if (slot >= kFixedDrumHits) {
                slot = randBelow(random, kDrumCycle);
            }
            const NoteByte note = score.drumNotes[static_cast<std::size_t>(slot)];
            if (isPlayableNote(note)) {
                events.push_back(
                    {{timeMs, midi::noteOn(midi::kDrumChannel, note, velocity)}, PieceLine::Drums});
            }
        }
    }
    return events;
}

} // namespace tarnwick
