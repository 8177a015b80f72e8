#pragma once
// The export's first half: one pass through the 1024 steps as a list of timed
// short MIDI messages, the same messages in the same order within each step
// that the step player sends on its first pass after Play.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick {

struct SongSettings;
struct Score;
class RandomGenerator;

struct MidiEvent {
    // Milliseconds from the start of the piece: step x stepMs. 64 bits, so no
    // step length a settings record can hold overflows it.
    std::int64_t timeMs = 0;
    // A short MIDI message: status in bits 0-7, note in bits 8-15, velocity in
    // bits 16-23, bits 24-31 zero.
    std::uint32_t message = 0;

    friend bool operator==(const MidiEvent&, const MidiEvent&) = default;
};

// The lines of the piece, in the order their events fall within a step.
enum class PieceLine : std::uint8_t { Voice1, Voice2, Harmony, Voice3, Drums };
inline constexpr std::size_t kLineCount = 5;

// A list event with the line it belongs to: voice 2 and the harmony share a
// channel, so the channel alone does not tell them apart.
struct LineEvent {
    MidiEvent event;
    PieceLine line = PieceLine::Voice1;
};

// The most events one pass can give: voice 1 2048 (note-offs and note-ons),
// voice 2 1024, harmony 1024, voice 3 512, drums 1024 (a hit every step).
inline constexpr std::size_t kMaxMidiEvents = 5632;

// Per step i, at time i x stepMs: voice 1 (channel 0); on even steps voice 2
// and, when harmonyOffset is not 0, the harmony line (both channel 1); on
// steps divisible by 4 voice 3 (channel 2); on steps divisible by beatLength
// one drum hit (channel 9). Each due line draws its velocity (volume + 0..31,
// kept within 0..127) before its rest test, so a rest still uses one draw.
// A line that sounds ends its remembered note first unless its hold flag is
// set; remembered notes start at 0. Entries 0 and above 127 are rests. Drum
// hits cycle through eight: the first plays slot 0, the second slot 1, the
// other six a slot drawn from all eight. A beatLength below 1 counts as 1.
// Never truncated: the list holds every event.
std::vector<MidiEvent> buildMidiEvents(const SongSettings& settings, const Score& score,
                                       RandomGenerator& random);

// The same list, each event tagged with its line (the same draws, so the same
// velocities and drum slots for the same generator state).
std::vector<LineEvent> buildLineEvents(const SongSettings& settings, const Score& score,
                                       RandomGenerator& random);

// The events of a tagged list without their lines.
std::vector<MidiEvent> untagged(const std::vector<LineEvent>& events);

} // namespace tarnwick
