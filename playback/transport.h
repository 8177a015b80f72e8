#pragma once
// Starting and stopping the live performance. Playing means exactly that the
// step timer runs; there is no playing flag of its own.

namespace tarnwick {

struct SongSettings;
struct Score;
struct PlayState;
class MidiOutput;
class StepTimer;

// The percussion key of each drum slot, from the slot's drum-table entry; an
// entry outside the table gives no hit.
void fillDrumNotes(const SongSettings& settings, Score& score);

// The set-up of the three voice channels, channel 0 first: All Sound Off,
// program, modulation wheel and portamento, as a start sends it.
void setUpVoiceChannels(const SongSettings& settings, MidiOutput& output);

// The second half of "Play", after the score is generated: fills the drum
// notes, sends each voice channel its set-up (All Sound Off, program,
// modulation wheel, portamento), resets the player's counters so the first
// tick plays step 0 with a drum hit, and starts the timer with the step length.
void startPlayback(const SongSettings& settings, Score& score, PlayState& state, MidiOutput& output,
                   StepTimer& timer);

// Stops the timer and sends All Sound Off to the three voice channels. Drum
// notes are left to ring; the player's counters stay as they are.
void stopPlayback(MidiOutput& output, StepTimer& timer);

} // namespace tarnwick
