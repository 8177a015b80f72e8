#pragma once
// The choice of output, the built-in synthesiser's SoundFont and whether MIDI
// clock is sent, kept between runs with the window's other preferences
// (QSettings, the platform's usual place). Each is written on its own when the
// user changes it, so a remembered port that the window could not open at
// start stays remembered until another output is chosen.

#include <string>
#include <string_view>

#include "outputs/output_factory.h"

class QSettings;

namespace tarnwick {

struct OutputPreferences {
    std::string output{kDefaultOutputName}; // an output name, as --output takes it
    std::string soundFont;                  // empty: the default General MIDI font
    bool midiClock = false;
};

// What `store` holds, the defaults for what it does not; all defaults
// without a store.
OutputPreferences loadOutputPreferences(const QSettings* store);

// Each writes one preference; nothing without a store.
void rememberOutput(QSettings* store, std::string_view name);
void rememberSoundFont(QSettings* store, std::string_view path);
void rememberMidiClock(QSettings* store, bool on);

} // namespace tarnwick
