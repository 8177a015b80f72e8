#pragma once
// The identifiers of the main dialog's controls and menu commands. Tests, the
// in-memory panel and the Qt dialog address every control by these numbers.

#include <cstddef>
#include <optional>

namespace tarnwick::control {

inline constexpr int kSeed = 1000;        // edit, free text
inline constexpr int kStop = 1001;        // push button "Stop"
inline constexpr int kRandomCanon = 1002; // push button "Random Canon"
inline constexpr int kScale = 1003;       // combo box, the 19 scales

// Per voice k = 0, 1, 2: add k.
inline constexpr int kInstrument = 1004;  // combo box, the 128 instruments
inline constexpr int kLowOctave = 1007;   // edit, digits only
inline constexpr int kHighOctave = 1010;  // edit, digits only
inline constexpr int kVolume = 1013;      // edit, digits only
inline constexpr int kHold = 1028;        // check box, column H
inline constexpr int kModulation = 1031;  // check box, column M
inline constexpr int kPortamento = 1034;  // check box, column P
inline constexpr int kVoiceOffset = 1037; // edit, signed

// Per drum slot s = 0..7: add s.
inline constexpr int kDrumSlot = 1018; // combo box, the 62 drums

inline constexpr int kBeat = 1026;          // edit, digits only
inline constexpr int kStepMs = 1027;        // edit, digits only ("ms per")
inline constexpr int kRandomAll = 1040;     // push button "Random All"
inline constexpr int kDrumVolume = 1041;    // edit, digits only
inline constexpr int kTranspose = 1042;     // edit, signed ("transpose all")
inline constexpr int kPlay = 1043;          // push button "Play"
inline constexpr int kRepeat = 1044;        // edit, digits only
inline constexpr int kHarmonyOffset = 1045; // edit, signed

// Every control's id lies in this range.
inline constexpr int kFirst = kSeed;
inline constexpr int kLast = kHarmonyOffset;

} // namespace tarnwick::control

namespace tarnwick {

// What the window's buttons and menu items ask for. Each keeps the number its
// button (the button's control id) or menu item carries, so that the menu,
// the buttons and the tests address a command by the same number.
enum class Command : int {
    Ok = 1,     // Enter: ignored by the main dialog
    Cancel = 2, // Esc and the close box: end the dialog
    Stop = control::kStop,
    RandomCanon = control::kRandomCanon,
    RandomAll = control::kRandomAll,
    Play = control::kPlay,
    Save = 32772,
    Open = 32774,
    Exit = 32775,
    SaveMidi = 32776,
    About = 32777,
    SaveAudio = 32790,
    SaveMidiTracks = 32791,
    SaveStems = 32792,
    Undo = 32800,
    Redo = 32801,
    // "Open Recent": entry i (0..9) of the recent files is OpenRecent + i.
    OpenRecent = 32810,
};

// The "Open Recent" command of entry `index` of the recent files.
constexpr Command openRecentCommand(int index) {
    return static_cast<Command>(static_cast<int>(Command::OpenRecent) + index);
}

// The entry of the recent files an "Open Recent" command opens, below
// `entries`; nothing for every other command.
constexpr std::optional<std::size_t> recentFileIndex(Command command, std::size_t entries) {
    const int index = static_cast<int>(command) - static_cast<int>(Command::OpenRecent);
    if (index < 0 || static_cast<std::size_t>(index) >= entries) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

} // namespace tarnwick
