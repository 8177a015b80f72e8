#include "roll/roll_picture.h"

#include <algorithm>

#include "composition/name_tables.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "midi/channel_messages.h"

namespace tarnwick {

namespace {

// Appends the notes of one line whose entry e sounds at step e x stride.
void addLine(std::vector<RollNote>& notes, RollLine line, std::span<const NoteByte> entries,
             int stride) {
    const std::size_t first = notes.size();
    for (std::size_t e = 0; e < entries.size(); ++e) {
        if (!isPlayableNote(entries[e])) {
            continue;
        }
        const int step = static_cast<int>(e) * stride;
        if (notes.size() > first) {
            notes.back().length = step - notes.back().step; // ended by this note
        }
        notes.push_back({line, step, kStepCount - step, entries[e]});
    }
}

} // namespace

std::vector<RollNote> soundingNotes(const Score& score, const SongSettings& settings) {
    std::vector<RollNote> notes;
    addLine(notes, RollLine::Voice1, score.voice1Notes, 1);
    addLine(notes, RollLine::Voice2, score.voice2Notes, 2);
    if (settings.harmonyOffset != 0) {
        addLine(notes, RollLine::Harmony, score.harmonyNotes, 2);
    }
    addLine(notes, RollLine::Voice3, score.voice3Notes, 4);
    return notes;
}

std::vector<DrumHit> drumHitsOf(std::span<const MidiEvent> events, std::int32_t stepMs) {
    const std::int64_t stepLength = std::max<std::int64_t>(stepMs, 1);
    std::vector<DrumHit> hits;
    for (const MidiEvent& event : events) {
        if (messageStatus(event.message) == (midi::kNoteOn | midi::kDrumChannel)) {
            hits.push_back(
                {static_cast<int>(event.timeMs / stepLength), messageData1(event.message)});
        }
    }
    return hits;
}

std::string_view lineId(RollLine line) {
    switch (line) {
    case RollLine::Voice1:
        return "voice1";
    case RollLine::Voice2:
        return "voice2";
    case RollLine::Harmony:
        return "harmony";
    case RollLine::Voice3:
        return "voice3";
    }
    return {};
}

std::string_view lineLabel(RollLine line) {
    switch (line) {
    case RollLine::Voice1:
        return "voice 1";
    case RollLine::Voice2:
        return "voice 2";
    case RollLine::Harmony:
        return "harmony";
    case RollLine::Voice3:
        return "voice 3";
    }
    return {};
}

std::string noteName(int note) {
    static constexpr std::string_view kNames[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                                  "F#", "G",  "G#", "A",  "A#", "B"};
    const int octave = note >= 0 ? note / 12 - 1 : (note - 11) / 12 - 1;
    const int pitchClass = note - (octave + 1) * 12;
    return std::string(kNames[pitchClass]) + std::to_string(octave);
}

std::string describeNote(const RollNote& note) {
    return std::string(lineLabel(note.line)) + ", step " + std::to_string(note.step) + ", " +
           noteName(note.note);
}

std::string describeDrumHit(const DrumHit& hit) {
    const int entry = hit.note - kDrumKeyOffset;
    const std::string name =
        entry >= 1 && entry < kDrumCount ? std::string(drumName(entry)) : noteName(hit.note);
    return "drums, step " + std::to_string(hit.step) + ", " + name;
}

} // namespace tarnwick
