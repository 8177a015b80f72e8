#include "app/no_display.h"

#include <ostream>
#include <string_view>

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

void explainNoDisplay(std::ostream& err, std::string_view program) {
    struct Example {
        std::string_view arguments;
        std::string_view purpose;
    };
    constexpr Example examples[] = {
        {"--play --seconds 60", "compose a piece and play it for a minute"},
        {"--play --settings song.tarn", "play saved settings until Ctrl-C"},
        {"--export-midi canon.mid", "compose a piece and write it as a MIDI file"},
        {"--settings song.tarn --export-midi song.mid", "the same from saved settings"},
        {"--print-score", "print the score as JSON"},
        {"--help", "every command and option"},
    };
    err << "tarnwick: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the\n"
           "window cannot open and nothing is played.\n"
           "Without a desktop, use the command line instead:\n";
    for (const Example& example : examples) {
        err << "  " << program << ' ' << example.arguments << "\n      " << example.purpose << '\n';
    }
}

} // namespace tarnwick
