#pragma once
// The piano roll as plain data: which note sounds on which line from which
// step for how long in one pass of the score, and the drum hits.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

struct Score;
struct SongSettings;
struct MidiEvent;

// The melodic lines, in the order they are drawn (a later line lies on top).
enum class RollLine { Voice1, Voice2, Harmony, Voice3 };

inline constexpr RollLine kRollLines[] = {RollLine::Voice1, RollLine::Voice2, RollLine::Harmony,
                                          RollLine::Voice3};

struct RollNote {
    RollLine line;
    int step;   // the step it starts on, 0..1023
    int length; // the steps it sounds, at least 1
    int note;   // MIDI note 1..127

    friend bool operator==(const RollNote&, const RollNote&) = default;
};

struct DrumHit {
    int step; // 0..1023
    int note; // percussion key 1..127

    friend bool operator==(const DrumHit&, const DrumHit&) = default;
};

struct RollPicture {
    std::vector<RollNote> notes; // line by line, each in step order
    std::vector<DrumHit> drumHits;
};

// What the step player sounds in one pass: on every line, each playable entry
// (1..127) from its step until the line's next playable entry, or to the end of
// the pass; rests and entries above 127 strike nothing, so the note before them
// sounds on. The harmony line sounds only while harmonyOffset is not 0. A held
// line is drawn the same way: the next note is where the ear follows the line.
std::vector<RollNote> soundingNotes(const Score& score, const SongSettings& settings);

// The drum hits of an event list of one pass: its channel-9 note-ons, each at
// the step its time falls on (time = step x stepMs).
std::vector<DrumHit> drumHitsOf(std::span<const MidiEvent> events, std::int32_t stepMs);

// "voice1", "voice2", "harmony", "voice3": the name tools read.
std::string_view lineId(RollLine line);

// "voice 1", "voice 2", "harmony", "voice 3": the name people read.
std::string_view lineLabel(RollLine line);

// The note's name with its octave, middle C (60) being C4: "E4", "F#2", "C-1".
std::string noteName(int note);

// What hovering over a note says: "voice 2, step 96, E4".
std::string describeNote(const RollNote& note);

// What hovering over a drum hit says: "drums, step 40, Hand Clap".
std::string describeDrumHit(const DrumHit& hit);

} // namespace tarnwick
