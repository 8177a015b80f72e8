#include "app/no_display.h"

#include <ostream>

namespace tarnwick {

namespace {

bool isSet(const EnvironmentLookup& environment, const char* name) {
    const char* value = environment(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool displayAvailable(const EnvironmentLookup& environment) {
#if defined(_WIN32) || defined(__APPLE__)
    (void)environment;
    return true;
#else
    return isSet(environment, "DISPLAY") || isSet(environment, "WAYLAND_DISPLAY") ||
           isSet(environment, "QT_QPA_PLATFORM");
#endif
}

void explainNoDisplay(std::ostream& err) {
    err << "tarnwick: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the\n"
           "window cannot open and nothing is played here.\n"
           "Without a desktop, use the command line instead:\n"
           "  tarnwick --play --seconds 60       compose a piece and play it for a minute\n"
           "  tarnwick --play --settings song.tarn\n"
           "                                     play saved settings until Ctrl-C\n"
           "  tarnwick --export-midi canon.mid   compose a piece and write it as a MIDI file\n"
           "  tarnwick --settings song.tarn --export-midi song.mid\n"
           "                                     the same from saved settings\n"
           "  tarnwick --print-score             print the score as JSON\n"
           "  tarnwick --help                    every command and option\n";
}

} // namespace tarnwick
