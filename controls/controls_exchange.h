#pragma once
// Moving the settings between the dialog's controls and SongSettings, always
// as a whole. Reading applies every clamp; writing shows every field as it is.

namespace tarnwick {

struct SongSettings;
class ControlPanel;

// Every control into the settings, in this order: the seed text (parsed into
// seed and seedCount), the scale, per voice the octave range (then the pair
// rule), offset, volume, instrument and the H/M/P flags, then beat, step
// length, drum volume, transpose, repeat, harmony offset and the drum slots.
//
// Clamps: low octave at most 10; high octave 1..11; a voice whose low octave
// is not below its high octave is reset to 1 and 10; volume and drum volume
// at most 90; beat at least 1; step length at least 50; transpose -11..11. A
// combo box without a selection leaves its field unchanged. An unsigned read
// of 2147483648 or more does not fit the signed field: it is taken as the
// field's upper bound where it has one (volumes 90, low octave 10, high
// octave 11), else as 2147483647, before the clamps.
//
// The seed count is stored as parsed: -1 for an empty seed text, 0 for one
// that does not start with a number. The score generator treats a count
// below 1 as the single value seed[0], and a save keeps what was typed.
void readControls(const ControlPanel& panel, SongSettings& settings);

// Every field into its control, in the same order, unclamped. A combo-box
// field outside its list shows no selection and so survives the next read.
void writeControls(const SongSettings& settings, ControlPanel& panel);

} // namespace tarnwick
