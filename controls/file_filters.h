#pragma once
// The files the program reads and writes, as its file choosers offer them.

#include <string_view>

namespace tarnwick {

// The one entry of a chooser's filter list.
struct FileFilter {
    std::string_view description; // what the list shows, "Tarnwick Files"
    std::string_view pattern;     // the names it accepts, "*.tarn"
};

inline constexpr FileFilter kSettingsFilter{"Tarnwick Files", "*.tarn"};
inline constexpr std::string_view kSettingsExtension = "tarn";
inline constexpr FileFilter kMidiFilter{"MIDI Files", "*.mid"};
inline constexpr std::string_view kMidiExtension = "mid";
inline constexpr FileFilter kAudioFilter{"Audio Files", "*.wav *.flac *.ogg"};
inline constexpr std::string_view kAudioExtension = "wav";

// The choosers' own titles.
inline constexpr std::string_view kLoadTitle = "Load";
inline constexpr std::string_view kSaveTitle = "Save";

} // namespace tarnwick
