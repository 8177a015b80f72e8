// The General MIDI instrument names and the percussion keys offered to the drum slots.

#include "composition/name_tables.h"

namespace tarnwick {

namespace {

// Index i is General MIDI program i.
constexpr std::array<std::string_view, kInstrumentCount> kInstrumentNames = {
    "Piano 1",      "Piano 2",      "Piano 3",       "Honky-tonk",
    "E. Piano 1",   "E. Piano 2",   "Harpsichord",   "Clavinet",
    "Celesta",      "Glockenspiel", "Music Box",     "Vibraphone",
    "Marimba",      "Xylophone",    "Tubular Bel",   "Dulcimer",
    "Organ 1",      "Organ 2",      "Organ 3",       "Church Org. 1",
    "Reed Organ",   "Accordion Fr", "Harmonica",     "Tango Accordion",
    "Nylon-str Gt", "Steel-str Gt", "Jazz Gt",       "Clean Gt",
    "Muted Gt",     "Overdrive Gt", "Distortion Gt", "Gt.Harmonics",
    "Acoustic Bs.", "Fingered Bs.", "Picked Bs.",    "Fretless Bs.",
    "Slap Bs. 1",   "Slap Bs. 2",   "Synth Bs. 1",   "Synth Bs. 2",
    "Violin",       "Viola",        "Cello",         "Contrabass",
    "Tremolo Str",  "Pizzicato",    "Harp",          "Timpani",
    "Strings",      "Slow Str.",    "Syn Str. 1",    "Syn Str. 2",
    "Choir Aahs",   "Voice Oohs",   "SynVox",        "Orchestra Hit",
    "Trumpet",      "Trombone",     "Tuba",          "Muted Tr.",
    "French Horn",  "Brass 1",      "Synth Br.1",    "Synth Br.2",
    "Soprano Sax",  "Alto Sax",     "Tenor Sax",     "Baritone Sax",
    "Oboe",         "English Horn", "Basson",        "Clarinet",
    "Piccolo",      "Flute",        "Recorder",      "Pan Flute",
    "Bottle Blow",  "Shakuhachi",   "Whistle",       "Ocarina",
    "Square Wave",  "Saw Wave",     "Syn.Calliope",  "Chiffer Lead",
    "Charang",      "Solo Vox",     "5th Saw Wave",  "Bass & Lead",
    "Fantasia",     "Warm Pad",     "PolySynth",     "Space Voice",
    "Bowed Glass",  "Metal Pad",    "Halo Pad",      "Sweep Pad",
    "Ice Rain",     "Sound Track",  "Crystal",       "Atmosphere",
    "Brightness",   "Goblin",       "Echo Drops",    "Star Theme",
    "Sitar",        "Banjo",        "Shamisen",      "Koto",
    "Kalimba",      "Bag Pipe",     "Fiddle",        "Shanai",
    "Tinkle Bel",   "Agogo",        "Steel Drums",   "Woodblock",
    "Taiko",        "Melo Tom 1",   "Synth Drum",    "Reverse Cym.",
    "Gt.FretNoise", "Breath Noise", "Seashore",      "Bird",
    "Telephone 1",  "Helicopter",   "Applause",      "Gun Shot"};

// Index 0 means no hit; index i (1..61) plays percussion key 26 + i on channel 10.
constexpr std::array<std::string_view, kDrumCount> kDrumNames = {
    "Silence",        "Hi Q",
    "Elec Snare",     "Scratch H",
    "Scratch L",      "Stick",
    "Elec Tick",      "Mute Snare",
    "Desk Bell",      "Bass Drum 1",
    "Bass Drum 2",    "Rim Shot",
    "Snare Drum 1",   "Hand Clap",
    "Snare Drum 2",   "Floor Tom",
    "Hi-Hat Closed",  "Elec Low Tom",
    "Hi-Hat Peda",    "Low Tom",
    "Hi_Hat Open",    "Electronic Mid Tom",
    "Mid Tom",        "Crash Cymbal",
    "High Tom",       "Ride Cymbal 1",
    "Oriental Crash", "Ride Cymbal Cup",
    "Tambourine",     "Spash Cymbal",
    "Cow Bell",       "Ride Cymbal 2",
    "Guiro Medium",   "Ride Cymbal 3",
    "Bongo High",     "Bongo Low",
    "Conga Mute",     "Conga High",
    "Conga Low",      "Timbale High",
    "Timbale Low",    "Agogo High",
    "Agogo Low",      "Shaker",
    "Spoons",         "Whistle",
    "Long Whistle",   "Guiro Short",
    "Guiro Long",     "Claves High",
    "Claves Mid",     "Claves Low",
    "Honk High",      "Honk Low",
    "Triangle Mute",  "Triangle Open",
    "Shaker Loud",    "Gingle Bells",
    "Bell Tree",      "Elec Tick 2",
    "Bass Drum Mute", "Bass Drum Open"};

} // namespace

std::string_view instrumentName(int program) {
    if (program < 0 || program >= kInstrumentCount) {
        return {};
    }
    return kInstrumentNames[static_cast<std::size_t>(program)];
}

std::string_view drumName(int drumIndex) {
    if (drumIndex < 0 || drumIndex >= kDrumCount) {
        return {};
    }
    return kDrumNames[static_cast<std::size_t>(drumIndex)];
}

std::uint8_t drumNote(int drumIndex) {
    if (drumIndex < 1 || drumIndex >= kDrumCount) {
        return 0;
    }
    return static_cast<std::uint8_t>(kDrumKeyOffset + drumIndex);
}

} // namespace tarnwick
